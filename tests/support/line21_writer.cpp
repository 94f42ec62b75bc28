#include "support/line21_writer.h"

#include <algorithm>
#include <stdexcept>

namespace qf::test {

namespace {

// The preamble address codes' first byte and second-byte base for rows 1-15.
constexpr std::array<std::array<uint8_t, 2>, 15> kRowCodes = {{{0x11, 0x40},
                                                               {0x11, 0x60},
                                                               {0x12, 0x40},
                                                               {0x12, 0x60},
                                                               {0x15, 0x40},
                                                               {0x15, 0x60},
                                                               {0x16, 0x40},
                                                               {0x16, 0x60},
                                                               {0x17, 0x40},
                                                               {0x17, 0x60},
                                                               {0x10, 0x40},
                                                               {0x13, 0x40},
                                                               {0x13, 0x60},
                                                               {0x14, 0x40},
                                                               {0x14, 0x60}}};

bool startCodeAt(const std::vector<uint8_t>& d, size_t i) {
    return i + 3 < d.size() && d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1;
}

size_t nextStartCode(const std::vector<uint8_t>& d, size_t from) {
    for (size_t i = from; i + 3 < d.size(); ++i)
        if (startCodeAt(d, i)) return i;
    return d.size();
}

std::vector<uint8_t> dvdBlock(const Line21Frame& f) {
    // pattern flag (field 1 first), one caption block of two fields, no extra field
    return {0x00, 0x00, 0x01,        0xB2,        'C',  'C',         0x01,       0xF8,
            0x82, 0xFF, f.field1[0], f.field1[1], 0xFE, f.field2[0], f.field2[1]};
}

std::vector<uint8_t> atscBlock(const Line21Frame& f) {
    return {0x00,     0x00, 0x01, 0xB2,        'G',         'A',  '9',         '4',         0x03,
            0x40 | 2, 0xFF, 0xFC, f.field1[0], f.field1[1], 0xFD, f.field2[0], f.field2[1], 0xFF};
}

} // namespace

uint8_t withOddParity(uint8_t b) {
    b &= 0x7F;
    int ones = 0;
    for (int i = 0; i < 7; ++i) ones += (b >> i) & 1;
    return static_cast<uint8_t>(ones % 2 ? b : b | 0x80);
}

void Line21Script::put(uint8_t b1, uint8_t b2) {
    int& free = nextFree_[static_cast<size_t>(field_ - 1)];
    const int frame = std::max(frame_, free);
    placed_.push_back({frame, field_, {b1, b2}});
    free = frame + 1;
}

Line21Script& Line21Script::raw(uint8_t b1, uint8_t b2, bool doubled, bool addParity) {
    if (addParity) {
        b1 = withOddParity(b1);
        b2 = withOddParity(b2);
    }
    put(b1, b2);
    if (doubled) put(b1, b2);
    return *this;
}

Line21Script& Line21Script::control(uint8_t second) {
    return raw(static_cast<uint8_t>((field_ == 2 ? 0x15 : 0x14) | channelBit()), second, true);
}

Line21Script& Line21Script::tab(int columns) {
    return raw(static_cast<uint8_t>(0x17 | channelBit()), static_cast<uint8_t>(0x20 + columns),
               true);
}

Line21Script& Line21Script::pac(int row, int indent, bool underline) {
    const auto& code = kRowCodes.at(static_cast<size_t>(row - 1));
    return raw(static_cast<uint8_t>(code[0] | channelBit()),
               static_cast<uint8_t>(code[1] | 0x10 | (indent / 4) << 1 | (underline ? 1 : 0)),
               true);
}

Line21Script& Line21Script::pacStyle(int row, int style) {
    const auto& code = kRowCodes.at(static_cast<size_t>(row - 1));
    return raw(static_cast<uint8_t>(code[0] | channelBit()),
               static_cast<uint8_t>(code[1] | style << 1), true);
}

Line21Script& Line21Script::midRow(uint8_t second) {
    return raw(static_cast<uint8_t>(0x11 | channelBit()), second, true);
}

Line21Script& Line21Script::special(uint8_t second) {
    return raw(static_cast<uint8_t>(0x11 | channelBit()), second, true);
}

Line21Script& Line21Script::extended(uint8_t first, uint8_t second) {
    return raw(static_cast<uint8_t>(first | channelBit()), second, true);
}

Line21Script& Line21Script::text(const std::string& ascii) {
    for (size_t i = 0; i < ascii.size(); i += 2)
        raw(static_cast<uint8_t>(ascii[i]),
            i + 1 < ascii.size() ? static_cast<uint8_t>(ascii[i + 1]) : 0, false);
    return *this;
}

std::vector<Line21Frame> Line21Script::frames(int tail) const {
    int last = 0;
    for (const Placed& p : placed_) last = std::max(last, p.frame);
    std::vector<Line21Frame> out(static_cast<size_t>(last + 1 + tail));
    for (const Placed& p : placed_)
        (p.field == 1 ? out[static_cast<size_t>(p.frame)].field1
                      : out[static_cast<size_t>(p.frame)].field2) = p.pair;
    return out;
}

std::vector<uint8_t> withLine21(const std::vector<uint8_t>& m2v,
                                const std::vector<Line21Frame>& frames, Line21Carriage how) {
    std::vector<uint8_t> out;
    out.reserve(m2v.size() + frames.size() * 20);
    size_t picture = 0, i = 0; // pictures begun
    bool gopOpen = false, pictureOpen = false;
    static const Line21Frame filler;
    auto frameOf = [&](size_t k) -> const Line21Frame& {
        return k < frames.size() ? frames[k] : filler;
    };
    while (i < m2v.size()) {
        const bool start = startCodeAt(m2v, i);
        const size_t next = nextStartCode(m2v, start ? i + 4 : i);
        const uint8_t code = start ? m2v[i + 3] : 0xFF;
        const bool slice = code >= 0x01 && code <= 0xAF;
        // A GOP's user data goes before its first picture, a picture's before its first
        // slice: after every header and extension of its level.
        if (code == 0x00) {
            if (how == Line21Carriage::DvdGop) {
                if (!gopOpen) throw std::runtime_error("a picture without a GOP header");
                const auto block = dvdBlock(frameOf(picture));
                out.insert(out.end(), block.begin(), block.end());
                gopOpen = false;
            }
            pictureOpen = how == Line21Carriage::AtscPicture;
            ++picture;
        }
        if (slice && pictureOpen) {
            const auto block = atscBlock(frameOf(picture - 1));
            out.insert(out.end(), block.begin(), block.end());
            pictureOpen = false;
        }
        if (code == 0xB8) gopOpen = true;
        out.insert(out.end(), m2v.begin() + static_cast<long>(i),
                   m2v.begin() + static_cast<long>(next));
        i = next;
    }
    return out;
}

} // namespace qf::test
