#pragma once
// Counting of picture start codes in video payload.
#include <cstddef>
#include <cstdint>

namespace qf {

// The last bytes of a video slot's payload, carried from one run to the next so that a
// start code split between two packets is seen once, and the first bytes of a pass are
// never matched against bytes that were not there.
struct CodeWindow {
    uint32_t bits = 0;
    uint8_t fill = 0; // how many of the four bytes are real (0-4)
};

// How many times the bytes of `w` followed by data[0, n) hold 00 00 01 `code`; afterwards
// `w` holds the last four bytes seen. Matches may overlap.
int32_t countStartCodes(CodeWindow& w, const uint8_t* data, size_t n, uint8_t code);

} // namespace qf

namespace qf {

// What the pictures of an MPEG-2 (or MPEG-1) video stream add up to, carried from one run
// to the next like CodeWindow: the coded frames (the two field pictures of a frame count
// once) and the fields they are displayed for (2 a frame, 3 with repeat_first_field; in a
// progressive sequence repeat_first_field doubles the frame, with top_field_first triples it).
struct PictureTally {
    int32_t& frames;
    int64_t& fields;
};

struct PictureScan {
    CodeWindow window;
    uint8_t extWanted = 0; // bytes of an extension start code still to come (0: none)
    uint8_t extHave = 0;
    uint8_t ext[4] = {};
    bool progressiveSequence = false;
    bool secondFieldDue = false; // a first field picture was seen, its partner comes next
};

// Counts the pictures in the bytes of `s` followed by data[0, n) into `tally`.
void countPictures(PictureScan& s, const uint8_t* data, size_t n, PictureTally& tally);

} // namespace qf
