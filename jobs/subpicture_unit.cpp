#include "jobs/subpicture_unit.h"

#include <algorithm>

namespace qf {

namespace {

uint32_t be16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Reads the bits of one field's pixel data, most significant first.
class Bits {
public:
    Bits(const uint8_t* data, size_t size, size_t at) : data_(data), end_(size * 8), at_(at * 8) {}
    bool ok() const { return at_ <= end_; }
    uint32_t get(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++at_)
            v = v << 1 | (at_ < end_ ? (data_[at_ / 8] >> (7 - at_ % 8)) & 1u : 0u);
        return v;
    }
    void align() { at_ = (at_ + 7) / 8 * 8; }

private:
    const uint8_t* data_;
    size_t end_, at_;
};

constexpr uint32_t kToLineEnd = UINT32_MAX;

// 2-bit: 4, 8, 12 or 16 bits, the run in all but the last two; 0 runs to the line's end.
uint32_t twoBitRun(Bits& b, uint8_t& value) {
    uint32_t v = b.get(4);
    if (v < 0x4) {
        v = v << 4 | b.get(4);
        if (v < 0x10) {
            v = v << 4 | b.get(4);
            if (v < 0x40) v = v << 4 | b.get(4);
        }
    }
    value = static_cast<uint8_t>(v & 3);
    const uint32_t run = v >> 2;
    return run == 0 ? kToLineEnd : run;
}

// 8-bit: a run flag, a width flag (a 2-bit or an 8-bit value), then the run: 3 bits for
// 2-9 pixels or 7 bits for 10-136, 0 of them to the line's end.
uint32_t eightBitRun(Bits& b, uint8_t& value) {
    const bool run = b.get(1);
    value = static_cast<uint8_t>(b.get(b.get(1) ? 8 : 2));
    if (!run) return 1;
    if (b.get(1)) {
        const uint32_t n = b.get(7);
        return n == 0 ? kToLineEnd : n + 9;
    }
    return b.get(3) + 2;
}

} // namespace

bool readUnitControls(const uint8_t* unit, size_t size, UnitControls& c) {
    c = UnitControls{};
    if (size < 4) return false;
    c.eightBit = unit[0] == 0 && unit[1] == 0;
    const size_t link = c.eightBit ? 4 : 2; // bytes of an offset
    if (c.eightBit && size < 10) return false;
    size_t at = c.eightBit ? be32(unit + 6) : be16(unit + 2);
    // The sequences link to each other; the last links to itself.
    for (int sequences = 0; sequences < 64 && at + 2 + link <= size; ++sequences) {
        const int date = static_cast<int>(be16(unit + at));
        const size_t next = link == 4 ? be32(unit + at + 2) : be16(unit + at + 2);
        size_t i = at + 2 + link;
        while (i < size && unit[i] != 0xFF) {
            const uint8_t cmd = unit[i++];
            const auto has = [&](size_t n) { return i + n <= size; };
            switch (cmd) {
            case 0x00:
                c.forced = true;
                [[fallthrough]];
            case 0x01:
                if (c.startDate < 0) c.startDate = date;
                continue;
            case 0x02:
                if (c.stopDate < 0) c.stopDate = date;
                continue;
            case 0x03:
                if (!has(2)) return false;
                c.colour = {
                    static_cast<uint8_t>(unit[i + 1] & 0xF), static_cast<uint8_t>(unit[i + 1] >> 4),
                    static_cast<uint8_t>(unit[i] & 0xF), static_cast<uint8_t>(unit[i] >> 4)};
                i += 2;
                continue;
            case 0x04:
                if (!has(2)) return false;
                c.contrast = {
                    static_cast<uint8_t>(unit[i + 1] & 0xF), static_cast<uint8_t>(unit[i + 1] >> 4),
                    static_cast<uint8_t>(unit[i] & 0xF), static_cast<uint8_t>(unit[i] >> 4)};
                i += 2;
                continue;
            case 0x05:
            case 0x85:
                if (!has(6)) return false;
                c.x1 = static_cast<int>(unit[i] << 4 | unit[i + 1] >> 4);
                c.x2 = static_cast<int>((unit[i + 1] & 0xF) << 8 | unit[i + 2]);
                c.y1 = static_cast<int>(unit[i + 3] << 4 | unit[i + 4] >> 4);
                c.y2 = static_cast<int>((unit[i + 4] & 0xF) << 8 | unit[i + 5]);
                i += 6;
                continue;
            case 0x06:
                if (!has(4)) return false;
                c.topField = be16(unit + i);
                c.bottomField = be16(unit + i + 2);
                i += 4;
                continue;
            case 0x86:
                if (!has(8)) return false;
                c.topField = be32(unit + i);
                c.bottomField = be32(unit + i + 4);
                i += 8;
                continue;
            case 0x07: // colour and contrast changes within the area: their own length
                if (!has(2) || be16(unit + i) < 2) return false;
                i += be16(unit + i);
                continue;
            case 0x83:
                if (!has(768)) return false;
                c.palette = unit + i;
                i += 768;
                continue;
            case 0x84:
                if (!has(256)) return false;
                c.transparency = unit + i;
                i += 256;
                continue;
            default: // a command whose length is not known ends the reading
                i = size;
            }
        }
        if (next == at) break;
        at = next;
    }
    return c.startDate >= 0;
}

bool decodeUnitBitmap(const uint8_t* unit, size_t size, const UnitControls& c,
                      std::vector<uint8_t>& pixels) {
    const int w = c.width(), h = c.height();
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (w == 0 || h == 0) return false;
    Bits fields[2] = {{unit, size, c.topField}, {unit, size, c.bottomField}};
    for (int y = 0; y < h; ++y) {
        Bits& b = fields[y & 1];
        uint8_t* line = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w;) {
            uint8_t value = 0;
            uint32_t run = c.eightBit ? eightBitRun(b, value) : twoBitRun(b, value);
            if (!b.ok()) return false;
            const auto left = static_cast<uint32_t>(w - x);
            if (run == kToLineEnd) run = left;
            if (run > left) return false;
            std::fill(line + x, line + x + run, value);
            x += static_cast<int>(run);
        }
        b.align();
    }
    return true;
}

} // namespace qf
