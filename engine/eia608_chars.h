#pragma once
// The line-21 character sets as Unicode code points.
#include <cstdint>
#include <string>

namespace qf {

char32_t line21Standard(uint8_t c);              // 0x20-0x7F
char32_t line21Special(uint8_t c);               // second byte 0x30-0x3F after 0x11
char32_t line21Extended(uint8_t set, uint8_t c); // set 0x12 or 0x13, second byte 0x20-0x3F
void appendUtf8(std::string& out, char32_t c);

} // namespace qf
