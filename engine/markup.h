#pragma once
// The inline markup of log lines: "[b]bold[/b]", "[bl]blue bold[/bl]", "[i]", "[u]",
// "[s1]", "[s2]", "[c:BBGGRR]" and any other name for normal text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// Literal brackets inside a log line are carried by these two bytes so that
// file names and playlist texts are never taken as markup. escapeMarkup()
// produces them; the plain text shows them as "[" and "]".
inline constexpr char kLiteralOpen = '\x01';
inline constexpr char kLiteralClose = '\x02';
std::string escapeMarkup(std::string_view text);

// A formatting change over plain-text characters [start, start + length).
struct Span {
    enum class Kind {
        ClearStyles, // bold, italic and underline cleared; colour and size kept
        AddBold,
        AddItalic,
        AddUnderline,
        Size,     // point size set to `value`
        Colour,   // colour set to `value` (0x00BBGGRR)
        BlueBold, // colour blue and bold added
        Normal,   // no style, window-text colour, 8 points
    };
    size_t start = 0;
    size_t length = 0;
    Kind kind = Kind::ClearStyles;
    uint32_t value = 0;
};

struct MarkedLine {
    std::string plain;
    std::vector<Span> spans; // in the order they are applied
};

// Turns a marked-up line into its plain text and the spans to apply, in order.
MarkedLine parseMarkup(std::string_view line);

// Plain text only (markup removed, literal brackets restored).
std::string plainText(std::string_view line);

// Reads hexadecimal digits of s, any case, skipping other characters; wraps at 32 bits.
uint32_t HexValue(std::string_view s);

} // namespace qf
