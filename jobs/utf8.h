#pragma once
// UTF-8 as the files for other programs need it: a byte that begins no character is told
// apart from one that does.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qf {

// The length of the UTF-8 character that starts at s[i], or 0 when none does; its code
// point goes to `cp`. Overlong forms, surrogates and values past U+10FFFF are no characters.
inline size_t utf8Char(std::string_view s, size_t i, uint32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    const size_t n = c < 0x80             ? 1
                     : (c & 0xE0) == 0xC0 ? 2
                     : (c & 0xF0) == 0xE0 ? 3
                     : (c & 0xF8) == 0xF0 ? 4
                                          : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = n == 1 ? c : n == 2 ? c & 0x1Fu : n == 3 ? c & 0x0Fu : c & 0x07u;
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (b(i + k) & 0x3Fu);
    static constexpr uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return n;
}

} // namespace qf
