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
