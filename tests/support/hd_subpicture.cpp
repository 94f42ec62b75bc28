#include "support/hd_subpicture.h"

#include <cmath>

namespace qf::test {

namespace {

void put(Bytes& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
}

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void bits(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (fill_ == 0) out_.push_back(0);
            if ((v >> i) & 1) out_.back() |= static_cast<uint8_t>(0x80 >> fill_);
            fill_ = (fill_ + 1) % 8;
        }
    }
    void align() { fill_ = 0; }

private:
    Bytes& out_;
    int fill_ = 0;
};

// One 8-bit line: kBoxW / 2 pixels of `a` (a run of 10-136), then `b` to the line's end.
void eightBitLine(BitWriter& w, uint8_t a, uint8_t b) {
    w.bits(1, 1), w.bits(1, 1), w.bits(a, 8), w.bits(1, 1), w.bits(kBoxW / 2 - 9, 7);
    w.bits(1, 1), w.bits(1, 1), w.bits(b, 8), w.bits(1, 1), w.bits(0, 7);
    w.align();
}

Bytes area(uint8_t cmd) {
    const uint32_t x1 = kBoxX, x2 = kBoxX + kBoxW - 1, y1 = kBoxY, y2 = kBoxY + kBoxH - 1;
    return {cmd,
            static_cast<uint8_t>(x1 >> 4),
            static_cast<uint8_t>(((x1 & 0xF) << 4) | (x2 >> 8)),
            static_cast<uint8_t>(x2),
            static_cast<uint8_t>(y1 >> 4),
            static_cast<uint8_t>(((y1 & 0xF) << 4) | (y2 >> 8)),
            static_cast<uint8_t>(y2)};
}

// The 256-colour command: entry 0 black, kLeft and kRight their greys, the rest Y 16.
Bytes paletteCommand() {
    Bytes b = {0x83};
    for (int v = 0; v < 256; ++v) {
        const uint8_t y = v == kLeft ? kLeftY : v == kRight || v == 2 ? kRightY : 16;
        b.insert(b.end(), {y, 0x80, 0x80});
    }
    return b;
}

void append(Bytes& to, const Bytes& b) {
    to.insert(to.end(), b.begin(), b.end());
}

constexpr uint8_t kHideDate = 0x4F; // 79 x 1024 ticks: about 0.9 s

} // namespace

Bytes eightBitBox(bool forced) {
    Bytes u(10, 0); // size field 0, the size and the sequences' offset in 4 bytes each
    BitWriter w(u);
    const size_t top = u.size();
    for (int line = 0; line < kBoxH; line += 2) eightBitLine(w, kLeft, kRight);
    const size_t bottom = u.size();
    for (int line = 1; line < kBoxH; line += 2) eightBitLine(w, kRight, kLeft);
    const size_t first = u.size();
    append(u, {0x00, 0x00, 0, 0, 0, 0}); // date 0, the link set below
    if (forced) u.push_back(0x00);
    u.push_back(0x01);
    append(u, paletteCommand());
    u.push_back(0x84); // transparency: entry 0 clear, the rest opaque
    u.push_back(0xFF);
    u.insert(u.end(), 255, 0x00);
    append(u, area(0x85));
    u.push_back(0x86);
    append(u, {0, 0, 0, 0, 0, 0, 0, 0});
    put(u, u.size() - 8, static_cast<uint32_t>(top), 4);
    put(u, u.size() - 4, static_cast<uint32_t>(bottom), 4);
    u.push_back(0xFF);
    const size_t second = u.size();
    append(u, {0x00, kHideDate, 0, 0, 0, 0, 0x02, 0xFF});
    put(u, first + 2, static_cast<uint32_t>(second), 4);
    put(u, second + 2, static_cast<uint32_t>(second), 4);
    put(u, 2, static_cast<uint32_t>(u.size()), 4);
    put(u, 6, static_cast<uint32_t>(first), 4);
    return u;
}

Bytes twoBitBox(bool palette) {
    Bytes u(4, 0); // size and the sequences' offset
    const size_t top = u.size();
    // Every line is one "to the end of the line" code of value 2.
    for (int line = 0; line < kBoxH; ++line) append(u, {0x00, 0x02});
    const size_t bottom = top + kBoxH;
    const size_t first = u.size();
    append(u, {0x00, 0x00, 0, 0, 0x01, 0x03, 0x32, 0x10, 0x04, 0xFF, 0xF0});
    if (palette) append(u, paletteCommand());
    append(u, area(0x05));
    append(u, {0x06, 0x00, static_cast<uint8_t>(top), 0x00, static_cast<uint8_t>(bottom), 0xFF});
    const size_t second = u.size();
    append(u, {0x00, kHideDate, 0, 0, 0x02, 0xFF});
    put(u, first + 2, static_cast<uint32_t>(second), 2);
    put(u, second + 2, static_cast<uint32_t>(second), 2);
    put(u, 0, static_cast<uint32_t>(u.size()), 2);
    put(u, 2, static_cast<uint32_t>(first), 2);
    return u;
}

int greyOf(int y) {
    return static_cast<int>(std::lround((y - 16) * 255.0 / 219.0));
}

} // namespace qf::test
