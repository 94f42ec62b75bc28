// The files other programs read: names in the mkvmerge options file that mkvmerge could
// take for an operator or an option, and chapter names that are no UTF-8, which the XML
// file must carry as well-formed XML all the same (judged by xmllint).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "jobs/chapters.h"
#include "jobs/mkvmerge_options.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

TEST(MkvmergeOptions, AFileNameIsNeverAnOperatorOrAnOption) {
    // mkvmerge reads "+" as "append to the file before", "=" as "no further parts", "-"
    // and "@" as an option or an options file.
    const std::pair<std::string, std::string> cases[] = {
        {"+disc_title01.MPEG-2.stream.0.m2v", "./+disc_title01.MPEG-2.stream.0.m2v"},
        {"=disc.DD.stream.00.ac3", "./=disc.DD.stream.00.ac3"},
        {"-disc.idx", "./-disc.idx"},
        {"@disc.idx", "./@disc.idx"},
        {"disc+1.idx", "disc+1.idx"},
        {"(disc).ac3", "(disc).ac3"},
    };
    for (const auto& [file, argument] : cases) {
        const auto args = nlohmann::json::parse(
            mkvmergeOptions(file + ".mkv", {{file, "", "", std::nullopt, ""}}, file + ".xml"));
        EXPECT_EQ(args, nlohmann::json::array({"--output", argument + ".mkv", argument,
                                               "--chapters", argument + ".xml"}))
            << file;
    }
}

// Of a DVD's forced-only tracks, the one in the audio's language keeps the flag.
TEST(MkvmergeOptions, TheForcedFlagStaysWithTheAudiosLanguage) {
    const struct {
        const char* what;
        std::string audio;                  // languages, "" for none
        std::vector<std::string> subtitles; // all forced-only
        std::string forced;                 // which keep the flag
    } cases[] = {
        {"the audio's language", "en", {"de", "en"}, "01"},
        {"no forced track has it", "fr", {"de", "en"}, "11"},
        {"the audio names none", "", {"de", "en"}, "11"},
        {"one without a language", "en", {"", "en"}, "01"},
    };
    for (const auto& c : cases) {
        auto track = [](TrackKind kind, const std::string& language) {
            MkvmergeTrack t;
            t.kind = kind;
            t.language = language;
            t.forced = kind == TrackKind::Subtitles;
            return t;
        };
        std::vector<MkvmergeTrack> tracks{track(TrackKind::Video, ""),
                                          track(TrackKind::Audio, c.audio)};
        for (const std::string& language : c.subtitles)
            tracks.push_back(track(TrackKind::Subtitles, language));
        keepForcedOfAudioLanguage(tracks);
        std::string forced;
        for (size_t k = 2; k < tracks.size(); ++k) forced += tracks[k].forced ? "1" : "0";
        EXPECT_EQ(forced, c.forced) << c.what;
    }
}

TEST(ChapterXml, IsWellFormedWhateverTheNamesHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"Fran\xC3\xA7"
         "ais \xE2\x98\xBA",
         "Fran\xC3\xA7"
         "ais \xE2\x98\xBA"},
        {"bad\xFF\xC3(", "bad\xEF\xBF\xBD\xEF\xBF\xBD("}, // no UTF-8
        {"\xC0\xAF|\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xEF\xBF\xBE\xEF\xBF\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // U+FFFE, U+FFFF
        {"A & B <c> \"d\"", "A &amp; B &lt;c&gt; &quot;d&quot;"},
        {"tab\tbell\x07", "tab\tbell "},
        {"cut \xE2\x98", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    std::vector<ChapterMark> chapters;
    for (const auto& c : cases) chapters.push_back({static_cast<double>(chapters.size()), c.first});
    const std::string xml = matroskaChapters(chapters);
    size_t at = 0;
    for (const auto& [name, text] : cases) {
        at = xml.find("<ChapterString>", at);
        ASSERT_NE(at, std::string::npos);
        at += 15;
        EXPECT_EQ(xml.substr(at, xml.find("</ChapterString>", at) - at), text) << name;
    }

    if (std::system("command -v xmllint >/dev/null") != 0)
        GTEST_SKIP() << "xmllint is not installed: the XML is not parsed";
    TempDir dir;
    writeFile(dir / "chapters.xml", Bytes(xml.begin(), xml.end()));
    EXPECT_EQ(std::system(("xmllint --noout '" + dir / "chapters.xml" + "' 2>/dev/null").c_str()),
              0)
        << xml;
}

} // namespace
} // namespace qf::test
