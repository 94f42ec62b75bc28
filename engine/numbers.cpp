#include "engine/numbers.h"

#include <charconv>

namespace qf {

std::string kiloHertz(int32_t hz, char separator) {
    std::string s = std::to_string(hz / 1000);
    if (const int32_t frac = hz % 1000; frac != 0) {
        std::string digits = std::to_string(1000 + frac).substr(1);
        while (digits.back() == '0') digits.pop_back();
        s += separator;
        s += digits;
    }
    return s;
}

std::string generalDecimal(double v, char separator) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    for (char& c : s)
        if (c == '.') c = separator;
    return s;
}

} // namespace qf
