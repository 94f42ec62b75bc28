#pragma once
// The text level of the playlist reader: attribute values of a tag line, as the reader and
// the tests take them, and the letter-case and number helpers the reader shares.
#include <cstdint>
#include <string>

namespace qf {

// Value of attribute `name` in a tag line (name found anywhere, any letter case; value
// between the double quotes after the next "="), with character references and the five
// predefined entities decoded ("&apos;" gives "'"). Returns false and leaves `result`
// unchanged when the line does not mention `name`.
bool GetAttr(const std::string& line, const std::string& name, std::string& result);
// The same, empty when the line does not mention `name`.
std::string GetAttr(const std::string& line, const std::string& name);
// The value as a decimal integer; 0 when absent or not a valid 32-bit integer.
int32_t GetAttrInt(const std::string& line, const std::string& name);

// ASCII letters in upper case, every other byte as it is.
std::string upperCase(std::string s);
// Whether `s` holds `part`, letter case counting.
bool contains(const std::string& s, const char* part);
// Optional sign and decimal digits, nothing else, within 32 bits; false leaves `out` as it is.
bool parseInt32(const std::string& s, int32_t& out);

} // namespace qf
