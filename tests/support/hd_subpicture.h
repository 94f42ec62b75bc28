#pragma once
// HD DVD subpicture units for tests: an 8-bit RLE unit and a 2-bit one, each showing a
// 64 x 16 box at (100, 400) and hiding after about 0.9 s, with a palette of their own.
#include <cstdint>

#include "support/ps_builder.h"

namespace qf::test {

constexpr int kBoxX = 100, kBoxY = 400, kBoxW = 64, kBoxH = 16;
// 8-bit box: the even lines show value kLeft in their left half and kRight in the right,
// the odd lines the other way round. Their palette entries are greys (Cr = Cb = 128), the
// same in RGB whichever matrix a decoder takes: Y 235 (white) and Y 81.
constexpr uint8_t kLeft = 5, kRight = 200;
constexpr uint8_t kLeftY = 235, kRightY = 81;
Bytes eightBitBox(bool forced = false);
// 2-bit box: every pixel value 2, shown as palette entry 2; with `palette`, the unit's own
// 256-colour command gives entry 2 the grey Y 81, else the stream has none.
Bytes twoBitBox(bool palette);
// Studio-range grey of Y as 8-bit RGB.
int greyOf(int y);

} // namespace qf::test
