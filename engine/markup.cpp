#include "engine/markup.h"

#include <algorithm>

namespace qf {

namespace {

constexpr size_t kTail = 255; // at most this many characters survive after each tag

std::string_view after(std::string_view s, size_t pos) {
    s.remove_prefix(std::min(pos, s.size()));
    return s.substr(0, kTail);
}

void restoreLiterals(std::string& s) {
    for (char& c : s) {
        if (c == kLiteralOpen)
            c = '[';
        else if (c == kLiteralClose)
            c = ']';
    }
}

Span tagSpan(std::string_view name, size_t start, size_t length) {
    Span s{start, length, Span::Kind::Normal, 0};
    if (name == "b")
        s.kind = Span::Kind::AddBold;
    else if (name == "i")
        s.kind = Span::Kind::AddItalic;
    else if (name == "u")
        s.kind = Span::Kind::AddUnderline;
    else if (name == "s1")
        s.kind = Span::Kind::Size, s.value = 10;
    else if (name == "s2")
        s.kind = Span::Kind::Size, s.value = 12;
    else if (name.substr(0, 2) == "c:")
        s.kind = Span::Kind::Colour, s.value = HexValue(name.substr(2));
    else if (name == "bl")
        s.kind = Span::Kind::BlueBold;
    return s;
}

} // namespace

std::string escapeMarkup(std::string_view text) {
    std::string r(text);
    for (char& c : r) {
        if (c == '[')
            c = kLiteralOpen;
        else if (c == ']')
            c = kLiteralClose;
    }
    return r;
}

std::string plainText(std::string_view line) {
    std::string text(line);
    for (size_t open; (open = text.find('[')) != std::string::npos;) {
        // Only a "]" after the "[" closes it; a lone "[" hides the rest of the line.
        size_t close = text.find(']', open);
        std::string rest =
            close == std::string::npos ? std::string() : std::string(after(text, close + 1));
        text = text.substr(0, open) + rest;
    }
    restoreLiterals(text);
    return text;
}

MarkedLine parseMarkup(std::string_view line) {
    MarkedLine out;
    out.plain = plainText(line);
    const size_t total = out.plain.size();
    size_t pos = 0;
    auto clamp = [&](size_t len) { return std::min(len, total - std::min(pos, total)); };

    std::string_view rest = line;
    for (size_t open; (open = rest.find('[')) != std::string_view::npos;) {
        if (open > 0) {
            out.spans.push_back({pos, clamp(open), Span::Kind::ClearStyles, 0});
            pos += open;
        }
        size_t close = rest.find(']', open);
        if (close == std::string_view::npos) { // a lone "[": the rest is dropped
            rest = {};
            break;
        }
        std::string_view name = rest.substr(open + 1, close - open - 1);
        rest = after(rest, close + 1);
        std::string closing = "[/" + std::string(name) + "]";
        size_t end = rest.find(closing);
        std::string_view body = rest.substr(0, end);
        // The body may itself hold brackets when the markup is broken; count only what shows.
        size_t shown = body.find('[') == std::string_view::npos ? body.size() : body.find('[');
        if (shown > 0 || !body.empty()) out.spans.push_back(tagSpan(name, pos, clamp(shown)));
        pos += shown;
        if (end == std::string_view::npos) {
            rest = body.substr(shown);
            continue;
        }
        rest = after(rest, end + closing.size());
    }
    if (!rest.empty() && pos < total)
        out.spans.push_back({pos, clamp(rest.size()), Span::Kind::ClearStyles, 0});
    return out;
}

uint32_t HexValue(std::string_view s) {
    uint32_t v = 0;
    for (char ch : s) {
        char c = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
        if (c >= '0' && c <= '9')
            v = v * 16 + static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            v = v * 16 + static_cast<uint32_t>(c - 'A' + 10);
    }
    return v;
}

} // namespace qf
