#pragma once
// Counting of picture start codes in video payload.
#include <cstddef>
#include <cstdint>

namespace qf {

// How many times the 32-bit window over data[0, n), started at 0, equals 0x000001`code`.
// Matches may overlap, and a run beginning "01 code" or "00 01 code" counts (the window
// starts at zero); a pattern split between two runs is not seen.
int32_t countStartCodes(const uint8_t* data, size_t n, uint8_t code);

} // namespace qf
