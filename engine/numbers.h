#pragma once
// Numbers as the reports show them, with the user's decimal separator. Done without the
// C locale, which a front end may have switched.
#include <cstdint>
#include <string>

namespace qf {

// Hz as kHz in the shortest decimal form: "48", "44.1", "11.025".
std::string kiloHertz(int32_t hz, char separator);

// The shortest form with up to 15 significant digits: "25", "23.976", "29.97".
std::string generalDecimal(double v, char separator);

} // namespace qf
