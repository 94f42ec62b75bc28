// Chapter files from an HD DVD playlist: the sample disc's chapters in both files, which
// agree, and frames counted at the title's time base.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "jobs/chapters.h"
#include "samples/sample_disc.h"
#include "support/job_bench.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

std::string text(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The (time, name) pairs of a Matroska chapter file, times cut to ms as OGM has them.
std::string xmlAsOgm(const std::string& xml) {
    static const std::regex atom("<ChapterTimeStart>([0-9:]+\\.[0-9]{3})[0-9]{6}</ChapterTimeStart>"
                                 "\\s*<ChapterDisplay>\\s*<ChapterString>([^<]*)</ChapterString>");
    std::string ogm;
    int k = 0;
    for (std::sregex_iterator it(xml.begin(), xml.end(), atom), end; it != end; ++it) {
        char n[24];
        std::snprintf(n, sizeof n, "CHAPTER%02d", ++k);
        ogm += std::string(n) + "=" + (*it)[1].str() + "\n" + n + "NAME=" + (*it)[2].str() + "\n";
    }
    return ogm;
}

TEST(ChapterFiles, SampleDiscGivesItsPlaylistsChaptersInBothFiles) {
    TempDir tmp;
    writeSampleDisc(tmp.path);
    JobBench b;
    b.choose(tmp / "HVDVD_TS/FEATURE_1.EVO");
    b.read();
    b.readPlaylistOf(tmp / "ADV_OBJ/VPLST000.XPL");
    b.demux();
    const std::string base = tmp / "HVDVD_TS/FEATURE_1_FEATURE_2";
    const std::string ogm = text(base + ".chapters.txt");
    EXPECT_EQ(ogm, "CHAPTER01=00:00:00.000\nCHAPTER01NAME=Opening\n"
                   "CHAPTER02=00:00:02.000\nCHAPTER02NAME=Second part\n");
    EXPECT_EQ(xmlAsOgm(text(base + ".chapters.xml")), ogm);
}

TEST(ChapterFiles, FramesCountAtTheTitlesTimeBase) {
    const struct {
        const char* timeBase; // Title attribute, "" for none
        const char* begin;
        const char* ogm;
    } cases[] = {
        {" timeBase=\"60fps\"", "00:01:00:30", "CHAPTER01=00:01:00.500\n"},
        {" timeBase=\"50fps\"", "01:00:00:25", "CHAPTER01=01:00:00.500\n"},
        {"", "00:00:01:06", "CHAPTER01=00:00:01.250\n"}, // no read yet: 24000/1001
    };
    for (const auto& c : cases) {
        TempDir tmp;
        JobBench b;
        b.choose(tmp / "FEATURE_1.EVO");
        const std::string xpl = std::string("<Playlist><TitleSet><Title id=\"t\"") + c.timeBase +
                                "><PrimaryAudioVideoClip src=\"FEATURE_1.MAP\"/><ChapterList>"
                                "<Chapter titleTimeBegin=\"" +
                                c.begin +
                                "\" displayName=\"A & B\"/>"
                                "</ChapterList></Title></TitleSet></Playlist>";
        writeFile(tmp / "VPLST000.XPL", Bytes(xpl.begin(), xpl.end()));
        b.readPlaylistOf(tmp / "VPLST000.XPL");
        const std::string ogm = ogmChapters(b.ctx.cat.titleFacts.chapters);
        EXPECT_EQ(ogm.substr(0, ogm.find('\n') + 1), c.ogm) << c.begin;
        EXPECT_NE(matroskaChapters(b.ctx.cat.titleFacts.chapters).find("A &amp; B"),
                  std::string::npos);
    }
}

} // namespace
} // namespace qf::test
