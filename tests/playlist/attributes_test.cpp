// The playlist attribute parser.
#include "playlist/attributes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace qf {
namespace {

// The attribute parser: the value of the first mention of a name in a tag, in any letter
// case, with references decoded; nullopt where it finds none (a result given then keeps
// what it held).
TEST(GetAttr, ValuesOfTagsAsWritten) {
    const std::string pad(240, ' ');
    const struct {
        std::string tag, name;
        std::optional<std::string> value;
        bool asked = false; // also through the form that reports whether it found one
    } cases[] = {
        {R"(<Audio StreamNumber="3" x="y">)", "streamnumber", "3", true},
        // The first mention wins, even inside another value or name.
        {R"(<Audio langtrack="en" track="2">)", "track", "en"},
        {R"(<Title displayName="Mixed Case">)", "DISPLAYNAME", "Mixed Case"},
        // References are decoded; control characters and anything unknown stay as written.
        {R"(<T n="Director&apos;s &amp; &lt;b&gt; &quot;&#233;&#x263A;&quot;">)", "n",
         "Director's & <b> \"\u00e9\u263a\""},
        {R"(<T n="&bogus; &#10; &#xD800; &#0; &amp">)", "n", "&bogus; &#10; &#xD800; &#0; &amp"},
        {"<Chapter titleTimeBegin=\"0\"/>", "displayName", std::nullopt, true},
        {"<a name='single'>", "name", "", true}, // single quotes are not recognised
        {"<a name=\"open>", "name", ""},
        {"<a name \"v\">", "name", "v"}, // no "=": the quotes still count
        {"<a name=\"\" b=\"x\">", "name", ""},
        // At most 255 characters after the name are looked at.
        {"<a n=" + pad + "\"value\">", "n", "value"},
        {"<a n=" + pad + std::string(20, ' ') + "\"value\">", "n", ""},
        {"<a n=\"" + std::string(300, 'v') + "\">", "n", ""},
        {"<a n=\"" + std::string(252, 'v') + "\">", "n", std::string(252, 'v')},
        {"<a n=\"" + std::string(253, 'v') + "\">", "n", ""}, // closing quote cut off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag.substr(0, 60));
        if (c.asked) {
            std::string r = "kept";
            EXPECT_EQ(GetAttr(c.tag, c.name, r), c.value.has_value());
            EXPECT_EQ(r, c.value.value_or("kept"));
        }
        EXPECT_EQ(GetAttr(c.tag, c.name), c.value.value_or(""));
    }
}

TEST(GetAttrInt, DecimalOrZero) {
    const struct {
        const char* tag;
        int32_t value;
    } cases[] = {
        {R"(<Audio streamNumber="12">)", 12},
        {R"(<x streamNumber="-3">)", -3},
        {R"(<x streamNumber="+7">)", 7},
        {R"(<x streamNumber="2147483647">)", 2147483647},
        {R"(<x streamNumber="2147483648">)", 0},
        {R"(<x streamNumber="1x">)", 0},
        {R"(<x streamNumber=" 1">)", 0},
        {R"(<x streamNumber="">)", 0},
        {R"(<x m="4">)", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(GetAttrInt(c.tag, "streamNumber"), c.value) << c.tag;
}

} // namespace
} // namespace qf
