#include "playlist/attributes.h"

#include <string_view>
#include <utility>

namespace qf {

namespace {

constexpr size_t kTail = 255; // at most this many characters are looked at after each find

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

size_t findNoCase(const std::string& hay, const std::string& needle) {
    return upperCase(hay).find(upperCase(needle));
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character a reference between "&" and ";" stands for; false for anything else,
// and for control characters, which would split a log line or a file name.
bool referencedChar(std::string_view name, uint32_t& cp) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [n, c] : kNamed)
        if (name == n) {
            cp = static_cast<uint32_t>(c);
            return true;
        }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return false;
    cp = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) return false;
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return !control && !surrogate && cp != 0xFFFE && cp != 0xFFFF && cp <= 0x10FFFF;
}

// Character references and the five predefined entities decoded; anything else that
// looks like one is kept as it stands.
std::string decodeReferences(const std::string& text) {
    if (text.find('&') == std::string::npos) return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t semi = text[i] == '&' ? text.find(';', i + 1) : std::string::npos;
        uint32_t cp = 0;
        if (semi != std::string::npos && semi - i <= 11 &&
            referencedChar(std::string_view(text).substr(i + 1, semi - i - 1), cp)) {
            appendUtf8(out, cp);
            i = semi + 1;
        } else {
            out += text[i++];
        }
    }
    return out;
}

} // namespace

std::string upperCase(std::string s) {
    for (char& c : s) c = upper(c);
    return s;
}

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

bool parseInt32(const std::string& s, int32_t& out) {
    size_t i = 0;
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > int64_t{1} << 31) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool GetAttr(const std::string& line, const std::string& name, std::string& result) {
    const size_t at = findNoCase(line, name);
    if (at == std::string::npos) return false;
    std::string rest = line.substr(at + name.size(), kTail);
    if (size_t eq = rest.find('='); eq != std::string::npos) rest = rest.substr(eq + 1, kTail);
    if (size_t q = rest.find('"'); q != std::string::npos) rest = rest.substr(q + 1, kTail);
    const size_t end = rest.find('"');
    result = end == std::string::npos ? std::string() : decodeReferences(rest.substr(0, end));
    return true;
}

std::string GetAttr(const std::string& line, const std::string& name) {
    std::string value;
    GetAttr(line, name, value);
    return value;
}

int32_t GetAttrInt(const std::string& line, const std::string& name) {
    int32_t v = 0;
    return parseInt32(GetAttr(line, name), v) ? v : 0;
}

} // namespace qf
