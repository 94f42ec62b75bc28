#pragma once
// What one subpicture unit says: its display control sequences (when it shows and hides,
// where, in which colours) and its run-length coded bitmap, for the 2-bit units of DVD and
// HD DVD and the 8-bit units of HD DVD (which begin with a zero size field and add
// commands with a 256-colour palette, its transparency and 4-byte offsets).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

struct UnitControls {
    bool eightBit = false;
    bool forced = false;                   // "forced start display"
    int startDate = -1;                    // of "start display", in 1024 ticks of 90 kHz; -1: none
    int stopDate = -1;                     // of "stop display"; -1: none
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1;  // the display area, inclusive
    size_t topField = 0, bottomField = 0;  // the pixel data of the even and odd lines
    std::array<uint8_t, 4> colour{};       // 2-bit: palette entries of pixel values 0-3
    std::array<uint8_t, 4> contrast{};     // 2-bit: their opacity, 0-15
    const uint8_t* palette = nullptr;      // 256 x (Y, Cr, Cb), within the unit
    const uint8_t* transparency = nullptr; // 256 bytes, 0: opaque, within the unit

    int width() const { return x2 >= x1 ? x2 - x1 + 1 : 0; }
    int height() const { return y2 >= y1 ? y2 - y1 + 1 : 0; }
};

// The controls of a whole unit; false when its header or sequences cannot be read.
bool readUnitControls(const uint8_t* unit, size_t size, UnitControls& out);

// The bitmap of the display area, one pixel value a byte, lines in order (the fields
// woven together); false when the run-length data end early or run past a line.
bool decodeUnitBitmap(const uint8_t* unit, size_t size, const UnitControls& c,
                      std::vector<uint8_t>& pixels);

} // namespace qf
