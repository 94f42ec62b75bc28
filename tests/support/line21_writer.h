#pragma once
// Writes line-21 caption byte pairs into an MPEG-2 video elementary stream, as DVDs (GOP
// user data "CC") or ATSC (picture user data "GA94") carry them: the test side of the
// caption reader, from a script of caption commands laid out one pair per field and frame.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qf::test {

using Line21Pair = std::array<uint8_t, 2>;

// The pairs of one frame: field 1's and field 2's, with their parity bits.
struct Line21Frame {
    Line21Pair field1{0x80, 0x80}, field2{0x80, 0x80};
};

// Caption commands placed on frames: each command takes the next free frame of its field
// at or after the one chosen by at(). Control codes and special characters go twice in a
// row, as encoders send them.
class Line21Script {
public:
    // data channel 1 or 2 of the field the commands go to (CC1/CC2 on field 1, CC3/CC4 on 2)
    Line21Script& at(int frame) {
        frame_ = frame;
        return *this;
    }
    Line21Script& field(int f, int dataChannel = 1) {
        field_ = f;
        channel_ = dataChannel;
        return *this;
    }
    Line21Script& control(uint8_t second); // misc control: RCL 0x20 … EOC 0x2F
    Line21Script& tab(int columns);        // TO1-3
    Line21Script& pac(int row, int indent, bool underline = false); // rows 1-15, indent 0-28
    Line21Script& pacStyle(int row, int style);                     // 0-6 colours, 7 italics
    Line21Script& midRow(uint8_t second);                           // 0x20-0x2F
    Line21Script& special(uint8_t second);                          // 0x30-0x3F
    Line21Script& extended(uint8_t first, uint8_t second);          // first 0x12 or 0x13
    Line21Script& text(const std::string& ascii);
    Line21Script& raw(uint8_t b1, uint8_t b2, bool doubled, bool addParity = true);

    // Every frame up to the last used one plus `tail` frames of filler.
    std::vector<Line21Frame> frames(int tail = 60) const;

private:
    void put(uint8_t b1, uint8_t b2);
    uint8_t channelBit() const { return channel_ == 2 ? 0x08 : 0x00; }

    struct Placed {
        int frame;
        int field;
        Line21Pair pair;
    };
    std::vector<Placed> placed_;
    std::array<int, 2> nextFree_{0, 0};
    int frame_ = 0, field_ = 1, channel_ = 1;
};

uint8_t withOddParity(uint8_t sevenBits);

enum class Line21Carriage { DvdGop, AtscPicture };

// `m2v` with the frames' pairs written in: one user data block per GOP header ("CC", which
// then needs one picture a GOP) or per picture ("GA94"). Frame i goes with the i-th
// picture in stream order, which must be display order (no B pictures); pictures past the
// last frame get filler.
std::vector<uint8_t> withLine21(const std::vector<uint8_t>& m2v,
                                const std::vector<Line21Frame>& frames, Line21Carriage how);

} // namespace qf::test
