// Log markup: plain text, formatting spans, literal brackets and HexValue.
#include "engine/markup.h"

#include <gtest/gtest.h>

#include <random>

namespace qf {
namespace {

using K = Span::Kind;

struct S {
    size_t start, length;
    K kind;
    uint32_t value = 0;
};

std::vector<S> spansOf(const MarkedLine& m) {
    std::vector<S> r;
    for (const Span& s : m.spans) r.push_back({s.start, s.length, s.kind, s.value});
    return r;
}

bool operator==(const S& a, const S& b) {
    return a.start == b.start && a.length == b.length && a.kind == b.kind && a.value == b.value;
}

void PrintTo(const S& s, std::ostream* os) {
    *os << "{" << s.start << "," << s.length << ",kind " << static_cast<int>(s.kind) << ","
        << s.value << "}";
}

TEST(Markup, LinesAndTheirSpans) {
    struct Case {
        std::string line, plain;
        std::vector<S> spans;
    };
    const std::vector<Case> cases = {
        {"[bl]16[/bl] bits, [bl]DTS ES[/bl]",
         "16 bits, DTS ES",
         {{0, 2, K::BlueBold}, {2, 7, K::ClearStyles}, {9, 6, K::BlueBold}}},
        {"no markup at all", "no markup at all", {{0, 16, K::ClearStyles}}},
        {"", "", {}},
        {"[b]MPEG-2[/b] video stream 0 found!",
         "MPEG-2 video stream 0 found!",
         {{0, 6, K::AddBold}, {6, 22, K::ClearStyles}}},
        {"a [i]b[/i] [u]c[/u]",
         "a b c",
         {{0, 2, K::ClearStyles},
          {2, 1, K::AddItalic},
          {3, 1, K::ClearStyles},
          {4, 1, K::AddUnderline}}},
        {"[s1]x[/s1][s2]yy[/s2]", "xyy", {{0, 1, K::Size, 10}, {1, 2, K::Size, 12}}},
        {"[B]upper[/B]", "upper", {{0, 5, K::Normal}}}, // names are case-sensitive
        {"[c:FF0000]blue[/c:FF0000]", "blue", {{0, 4, K::Colour, 0xFF0000}}},
        {"[c:0000ff]red[/c:0000ff]", "red", {{0, 3, K::Colour, 0x0000FF}}},
        {"[c:zz]black[/c:zz]", "black", {{0, 5, K::Colour, 0}}},
        {"[cx]n[/cx]", "n", {{0, 1, K::Normal}}},
        // Broken markup: the output is not fixed, but nothing may fall outside the text.
        {"[b]open", "open", {{0, 4, K::AddBold}}},
        {"abc[def", "abc", {{0, 3, K::ClearStyles}}},
        {"a]b[b]c[/b]", "a]bc", {{0, 3, K::ClearStyles}, {3, 1, K::AddBold}}},
        {"[b]file [x].evo[/b]", "file .evo", {{0, 5, K::AddBold}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const MarkedLine m = parseMarkup(c.line);
        EXPECT_EQ(m.plain, c.plain);
        EXPECT_EQ(plainText(c.line), c.plain);
        EXPECT_EQ(spansOf(m), c.spans);
    }
}

TEST(Markup, EscapedBracketsShowLiterally) {
    const std::string name = escapeMarkup("Movie [Disc 1].EVO");
    EXPECT_EQ(name.find_first_of("[]"), std::string::npos);
    const std::string line = "Opening file [b]" + name + "[/b]";
    const MarkedLine m = parseMarkup(line);
    EXPECT_EQ(m.plain, "Opening file Movie [Disc 1].EVO");
    EXPECT_EQ(spansOf(m), (std::vector<S>{{0, 13, K::ClearStyles}, {13, 18, K::AddBold}}));
}

TEST(Markup, At255CharactersAfterEachTag) {
    const std::string tail(300, 'x');
    const MarkedLine m = parseMarkup("[b]ab[/b]" + tail);
    // After "[b]" 255 characters survive: "ab[/b]" and 249 x.
    EXPECT_EQ(m.plain, "ab" + std::string(249, 'x'));
    EXPECT_EQ(spansOf(m), (std::vector<S>{{0, 2, K::AddBold}, {2, 249, K::ClearStyles}}));
    EXPECT_EQ(plainText(std::string(20, 'y') + "[b]" + tail),
              std::string(20, 'y') + std::string(255, 'x'));
}

TEST(Markup, SpansNeverLeaveThePlainText) {
    // Random lines of tags, brackets and text: spans stay inside the plain text, in order.
    std::mt19937 rng(7);
    const std::vector<std::string> pieces = {
        "[b]",    "[/b]",
        "[bl]",   "[/bl]",
        "[",      "]",
        "a",      "bc",
        "[c:ff]", "[/c:ff]",
        "[i]",    "[/i]",
        "\x01",   std::string(120, 'z')}; // crosses the 255 limit
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1), len(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        for (size_t n = len(rng); n > 0; --n) line += pieces[pick(rng)];
        const MarkedLine m = parseMarkup(line);
        ASSERT_EQ(m.plain, plainText(line)) << line;
        for (const Span& s : m.spans) {
            ASSERT_LE(s.start, m.plain.size()) << line;
            ASSERT_LE(s.start + s.length, m.plain.size()) << line;
        }
        for (size_t i = 1; i < m.spans.size(); ++i)
            ASSERT_LE(m.spans[i - 1].start, m.spans[i].start) << line;
    }
}

TEST(Markup, WellFormedLinesAreTiledBySpans) {
    std::mt19937 rng(11);
    const std::vector<std::string> tags = {"b", "bl", "i", "u", "s1", "s2", "c:00FF00", "q"};
    std::uniform_int_distribution<size_t> tag(0, tags.size() - 1), len(0, 6);
    for (int round = 0; round < 5000; ++round) {
        std::string line, plain;
        for (size_t n = len(rng); n > 0; --n) {
            const std::string text(len(rng), static_cast<char>('a' + n));
            if (rng() & 1) {
                const std::string& t = tags[tag(rng)];
                line += "[" + t + "]" + text + "[/" + t + "]";
            } else {
                line += text;
            }
            plain += text;
        }
        const MarkedLine m = parseMarkup(line);
        ASSERT_EQ(m.plain, plain) << line;
        size_t at = 0;
        for (const Span& s : m.spans) {
            ASSERT_EQ(s.start, at) << line;
            at += s.length;
        }
        ASSERT_EQ(at, plain.size()) << line;
    }
}

TEST(HexValue, ReadsHexDigitsAndSkipsTheRest) {
    EXPECT_EQ(HexValue(""), 0u);
    EXPECT_EQ(HexValue("FF0000"), 0xFF0000u);
    EXPECT_EQ(HexValue("0000ff"), 0xFFu);
    EXPECT_EQ(HexValue("DeadBeef"), 0xDEADBEEFu);
    EXPECT_EQ(HexValue("x1-y2 z3"), 0x123u);
    EXPECT_EQ(HexValue("ghij"), 0u);
    EXPECT_EQ(HexValue("\xC3\xA9"
                       "a"),
              0xAu);                               // bytes above 0x7F are skipped
    EXPECT_EQ(HexValue("123456789"), 0x23456789u); // wraps: the last eight digits count
    EXPECT_EQ(HexValue("FFFFFFFFF0"), 0xFFFFFFF0u);
}

} // namespace
} // namespace qf
