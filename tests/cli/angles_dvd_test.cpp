// Titles with an angle block (tests/support/make_angle_discs.sh, run once per build as the
// CTest fixture angle_discs): a plain cell, three angles, a plain cell; the angles laid out
// in interleaved units (seamless) or each in one piece (non-seamless). Two titles that share
// their first and last cells around interleaved branches, and a feature among decoys. Each
// angle or branch demuxed is what ffmpeg copies out of the program streams it came from.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "engine/paths.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;

const std::string kDiscs = QUILLFEN_ANGLE_DIR;

TEST(AngleDiscs, TitlesListTheAnglesAsLsdvdDoes) {
    for (const std::string disc : {"seamless", "nonseamless"}) {
        const CliResult r = runCli({"titles", kDiscs + "/" + disc, "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const Json doc = Json::parse(r.out);
        ASSERT_EQ(doc["titles"].size(), 1u);
        const std::string lsdvd =
            commandOutput("lsdvd -x '" + kDiscs + "/" + disc + "' 2>/dev/null");
        EXPECT_NE(lsdvd.find("Number of Angles: 3"), std::string::npos) << lsdvd;
        EXPECT_EQ(doc["titles"][0]["angles"], 3) << disc;
        // The length of one angle's play: the plain cells and one angle, 120 frames.
        EXPECT_NE(lsdvd.find("Length: 00:00:04.800"), std::string::npos) << lsdvd;
        EXPECT_DOUBLE_EQ(doc["titles"][0]["length"].get<double>(), 4.8) << disc;
    }
    // Each branch title plays the shared cells and its own branch: 3 cells, 4.8 s.
    const CliResult r = runCli({"titles", kDiscs + "/branches", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    ASSERT_EQ(doc["titles"].size(), 2u);
    const std::string lsdvd = commandOutput("lsdvd -x '" + kDiscs + "/branches' 2>/dev/null");
    for (const Json& t : doc["titles"]) {
        EXPECT_EQ(t["angles"], 1);
        EXPECT_EQ(t["cells"].size(), 3u);
        EXPECT_DOUBLE_EQ(t["length"].get<double>(), 4.8);
    }
    EXPECT_NE(lsdvd.find("Title: 02, Length: 00:00:04.800 Chapters: 03, Cells: 03"),
              std::string::npos)
        << lsdvd;
}

struct AngleCase {
    std::string disc;
    int angle;
    int title = 1; // on the branching disc, title k plays branch k ("a1", "a2")
};

class AngleDemuxTest : public ::testing::TestWithParam<AngleCase> {};

TEST_P(AngleDemuxTest, WritesTheAnglesOwnStreams) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const AngleCase& c = GetParam();
    TempDir out;
    const CliResult r = runCli({"demux", kDiscs + "/" + c.disc, "--title", std::to_string(c.title),
                                "--angle", std::to_string(c.angle), "-o", out.path, "--json",
                                "--no-mkvmerge-options", "--no-chapters"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["title"]["angle"], c.angle);
    std::vector<std::string> files;
    for (const Json& f : doc["files"]) files.push_back(namePart(f["path"]));
    const std::string base = c.disc + "_title0" + std::to_string(c.title) +
                             (c.angle > 1 ? "_angle" + std::to_string(c.angle) : "");
    ASSERT_EQ(files, (std::vector<std::string>{base + ".MPEG-2.stream.0.mpv",
                                               base + ".DD.stream.00.English.mpa"}));

    // The plain cells and the angle's cell, as ffmpeg copies each out of its source.
    Bytes video, audio;
    auto append = [](Bytes& to, const Bytes& more) {
        to.insert(to.end(), more.begin(), more.end());
    };
    const int branch = c.disc == "branches" ? c.title : c.angle;
    const std::vector<std::string> sources{"pre", "a" + std::to_string(branch), "post"};
    for (const std::string& source : sources) {
        const std::string in = kDiscs + "/authored/" + source + ".mpg";
        ASSERT_TRUE(ffmpeg(out.path, "-i '" + in + "' -map 0:v -c copy -f mpeg2video v.m2v"));
        ASSERT_TRUE(ffmpeg(out.path, "-i '" + in + "' -map 0:a -c copy -f ac3 a.ac3"));
        append(video, readFile(out / "v.m2v"));
        append(audio, readFile(out / "a.ac3"));
    }
    EXPECT_TRUE(readFile(out / files[0]) == video) << "the video differs";
    EXPECT_TRUE(readFile(out / files[1]) == audio) << "the audio differs";
    ASSERT_EQ(doc["frames"].size(), 1u);
    EXPECT_EQ(doc["frames"][0]["count"], 24 + 72 + 24);
    EXPECT_TRUE(decodesCleanly(out / files[0]));
    EXPECT_TRUE(decodesCleanly(out / files[1]));
}

// --angle all: one set of files per angle, each named by its angle past the first.
TEST(AngleDiscs, AllAnglesGiveOneSetOfFilesEach) {
    TempDir out;
    const CliResult r = runCli({"demux", kDiscs + "/seamless", "--angle", "all", "-o", out.path,
                                "--no-mkvmerge-options", "--no-chapters"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string base :
         {"seamless_title01", "seamless_title01_angle2", "seamless_title01_angle3"}) {
        EXPECT_FALSE(readFile(out / (base + ".MPEG-2.stream.0.mpv")).empty()) << base;
        EXPECT_FALSE(readFile(out / (base + ".DD.stream.00.English.mpa")).empty()) << base;
    }
    // Each angle's video is its own.
    EXPECT_FALSE(readFile(out / "seamless_title01.MPEG-2.stream.0.mpv") ==
                 readFile(out / "seamless_title01_angle2.MPEG-2.stream.0.mpv"));
}

INSTANTIATE_TEST_SUITE_P(Angles, AngleDemuxTest,
                         ::testing::Values(AngleCase{"seamless", 1}, AngleCase{"seamless", 2},
                                           AngleCase{"seamless", 3}, AngleCase{"nonseamless", 1},
                                           AngleCase{"nonseamless", 3}, AngleCase{"branches", 1, 1},
                                           AngleCase{"branches", 1, 2}),
                         [](const auto& p) {
                             return p.param.disc + "_" + std::to_string(p.param.title) + "_" +
                                    std::to_string(p.param.angle);
                         });

// Ten titles of the feature's cells in other orders or repeated, and a longer one out of
// order, which is what lsdvd calls longest: the feature, title 6, is the title read.
TEST(DecoyDisc, TheFeatureIsTheMainTitle) {
    const std::string disc = kDiscs + "/decoys";
    EXPECT_NE(commandOutput("lsdvd '" + disc + "' 2>/dev/null").find("Longest track: 12"),
              std::string::npos);
    const CliResult r = runCli({"titles", disc, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["main"], 6);
    EXPECT_EQ(doc["longest"], 12);
    std::string marks;
    for (const Json& t : doc["titles"])
        marks +=
            (t["same_cells_as"].is_null() ? "-" : std::to_string(t["same_cells_as"].get<int>())) +
            (t["cells_out_of_order"].get<bool>() ? "o " : " ");
    EXPECT_EQ(marks, "-o -o -o -o -o - -o -o 6 -o -o -o ");
    for (const std::vector<std::string>& title :
         {std::vector<std::string>{}, {"--title", "main"}}) {
        std::vector<std::string> args{"read", disc, "--json"};
        args.insert(args.end(), title.begin(), title.end());
        const CliResult read = runCli(args);
        ASSERT_EQ(read.status, 0) << read.err;
        EXPECT_EQ(Json::parse(read.out)["title"]["title"], 6);
    }
}

} // namespace
} // namespace qf::test
