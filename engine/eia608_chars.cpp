#include "engine/eia608_chars.h"

namespace qf {

char32_t line21Standard(uint8_t c) {
    // Where the caption set differs from ASCII.
    switch (c) {
    case 0x2A:
        return U'á';
    case 0x5C:
        return U'é';
    case 0x5E:
        return U'í';
    case 0x5F:
        return U'ó';
    case 0x60:
        return U'ú';
    case 0x7B:
        return U'ç';
    case 0x7C:
        return U'÷';
    case 0x7D:
        return U'Ñ';
    case 0x7E:
        return U'ñ';
    case 0x7F:
        return U'█';
    default:
        return c >= 0x20 && c < 0x7F ? char32_t{c} : 0;
    }
}

char32_t line21Special(uint8_t c) {
    // 0x39 is the transparent space, shown as a space.
    static constexpr char32_t kSpecial[16] = {U'®', U'°', U'½', U'¿', U'™', U'¢', U'£', U'♪',
                                              U'à', U' ', U'è', U'â', U'ê', U'î', U'ô', U'û'};
    return c >= 0x30 && c <= 0x3F ? kSpecial[c - 0x30] : 0;
}

char32_t line21Extended(uint8_t set, uint8_t c) {
    // Spanish, miscellaneous and French (0x12); Portuguese, German and Danish (0x13).
    static constexpr char32_t kFirst[32] = {U'Á', U'É', U'Ó', U'Ú', U'Ü', U'ü', U'‘', U'¡',
                                            U'*', U'’', U'—', U'©', U'℠', U'•', U'“', U'”',
                                            U'À', U'Â', U'Ç', U'È', U'Ê', U'Ë', U'ë', U'Î',
                                            U'Ï', U'ï', U'Ô', U'Ù', U'ù', U'Û', U'«', U'»'};
    static constexpr char32_t kSecond[32] = {U'Ã', U'ã', U'Í', U'Ì',  U'ì', U'Ò', U'ò', U'Õ',
                                             U'õ', U'{', U'}', U'\\', U'^', U'_', U'|', U'~',
                                             U'Ä', U'ä', U'Ö', U'ö',  U'ß', U'¥', U'¤', U'¦',
                                             U'Å', U'å', U'Ø', U'ø',  U'┌', U'┐', U'└', U'┘'};
    if (c < 0x20 || c > 0x3F) return 0;
    return set == 0x12 ? kFirst[c - 0x20] : set == 0x13 ? kSecond[c - 0x20] : 0;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace qf
