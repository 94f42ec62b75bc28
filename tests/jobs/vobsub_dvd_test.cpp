// The files a muxer loads after a Demux of a DVD title, judged by ffprobe and mkvmerge: a
// dvdauthor/spumux-made title (tests/data/make_dvd_title.sh, made once per build) with two
// subpicture streams of known times, one forced unit, two audio languages and a late audio
// stream.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/paths.h"
#include "support/ffmpeg.h"
#include "support/job_bench.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;

std::string media() {
    const char* dir = std::getenv("QUILLFEN_DVD_MEDIA");
    return dir ? dir : "";
}

std::vector<double> numbers(const std::string& text) {
    std::vector<double> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) v.push_back(std::stod(line));
    return v;
}

std::string text(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

constexpr double kFrame = 0.04; // one PAL video frame

class DvdTitle : public ::testing::Test, protected JobBench {
protected:
    TempDir out;
    std::string base;

    void SetUp() override {
        if (media().empty()) GTEST_SKIP() << "QUILLFEN_DVD_MEDIA is not set";
        choose(media() + "/disc/VIDEO_TS/VTS_01_1.VOB", out.path);
        read();
        // The languages and the palette come from VTS_01_0.IFO beside the VOB.
        ctx.cat.titleFacts.chapters = {{0, ""}, {2.88, "Middle"}, {5.76, ""}};
        ctx.cat.titleFacts.source = request.source;
        base = out / "VTS_01_1";
    }
};

TEST_F(DvdTitle, VobSubFilesHoldEveryUnitAtItsTime) {
    demux();
    const std::vector<std::vector<double>> spumux = {{1.0, 3.0, 5.0}, {1.5, 4.5}};
    for (size_t s = 0; s < 2; ++s) {
        const std::string idx =
            base + ".Subpicture.0" + std::to_string(s) + (s == 0 ? ".English" : ".German") + ".idx";
        SCOPED_TRACE(idx);
        const auto packets =
            numbers(ffprobe(out.path, "-show_entries packet=pts_time -of csv=p=0 '" + idx + "'"));
        ASSERT_EQ(packets.size(), spumux[s].size());
        for (size_t k = 0; k < packets.size(); ++k) EXPECT_NEAR(packets[k], spumux[s][k], kFrame);
        // One picture per unit, and no error message (standard error is read too).
        const std::string frames =
            commandOutput("ffprobe -v error -show_frames '" + idx + "' 2>&1");
        std::string pictures;
        std::istringstream lines(frames);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("num_rects=", 0) == 0 || line.find("rror") != std::string::npos)
                pictures += line + ";";
        EXPECT_EQ(pictures,
                  s == 0 ? "num_rects=1;num_rects=1;num_rects=1;" : "num_rects=1;num_rects=1;");
        const Json j = Json::parse(commandOutput("mkvmerge -J '" + idx + "'"));
        ASSERT_EQ(j["tracks"].size(), 1u);
        EXPECT_EQ(j["tracks"][0]["codec"], "VobSub");
        EXPECT_EQ(j["tracks"][0]["properties"]["language"], s == 0 ? "eng" : "ger");
    }
    // The forced unit, and where the palette came from.
    ASSERT_EQ(ctx.SubUnits[0].listed.size(), 3u);
    EXPECT_FALSE(ctx.SubUnits[0].listed[0].forced);
    EXPECT_TRUE(ctx.SubUnits[0].listed[1].forced);
    EXPECT_FALSE(ctx.SubUnits[1].listed[1].forced);
    EXPECT_NE(host.plainLog().find("Palette and languages from VTS_01_0.IFO (title 1)"),
              std::string::npos);
    EXPECT_EQ(host.plainLog().find("has the common default palette"), std::string::npos);
}

TEST_F(DvdTitle, MkvmergeMuxesEveryStreamWithLanguageDelayAndChapters) {
    demux();
    // The later audio stream's delay, in the line that names its file.
    const std::string log = host.plainLog();
    EXPECT_NE(log.find("VTS_01_1.DD.stream.01.German.ac3 (delay 115 ms)"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Named by codec for mkvmerge: VTS_01_1.MPEG-2.stream.0.m2v"),
              std::string::npos);

    ASSERT_EQ(std::system(("cd '" + out.path + "' && mkvmerge -q @VTS_01_1.mkvmerge.json").c_str()),
              0)
        << text(base + ".mkvmerge.json");
    const Json j = Json::parse(commandOutput("mkvmerge -J '" + base + ".mkv'"));
    std::vector<std::string> tracks;
    for (const Json& t : j["tracks"])
        tracks.push_back(t["type"].get<std::string>() + " " +
                         t["properties"].value("track_name", "") + " " +
                         t["properties"].value("language", "") +
                         (t["properties"].value("default_track", false) ? " default" : ""));
    // Players take the first audio track and keep the subtitles off, as the disc does.
    EXPECT_EQ(tracks, (std::vector<std::string>{"video MPEG-2.stream.0 und default",
                                                "audio DD.stream.00.English eng default",
                                                "audio DD.stream.01.German ger",
                                                "subtitles Subpicture.00.English eng",
                                                "subtitles Subpicture.01.German ger"}));
    // Audio that starts after the video starts at its delay (one AC-3 frame is 32 ms).
    const auto starts = numbers(ffprobe(
        out.path, "-select_streams a:1 -show_entries stream=start_time -of csv=p=0 VTS_01_1.mkv"));
    ASSERT_EQ(starts.size(), 1u);
    const auto videoStart = numbers(ffprobe(
        out.path, "-select_streams v:0 -show_entries stream=start_time -of csv=p=0 VTS_01_1.mkv"));
    EXPECT_NEAR(starts[0] - videoStart.at(0), 0.115, 0.032);
    const std::string chapters =
        commandOutput("mkvextract '" + base + ".mkv' chapters -s 2>/dev/null");
    EXPECT_EQ(chapters, "CHAPTER01=00:00:00.000\nCHAPTER01NAME=Chapter 01\n"
                        "CHAPTER02=00:00:02.880\nCHAPTER02NAME=Middle\n"
                        "CHAPTER03=00:00:05.760\nCHAPTER03NAME=Chapter 03\n");
    EXPECT_EQ(chapters, text(base + ".chapters.txt"));
}

TEST(DvdCommandLine, ForcedOnlyTracksAreFlaggedAndAnEmptyOneIsLeftOut) {
    if (media().empty()) GTEST_SKIP() << "QUILLFEN_DVD_MEDIA is not set";
    TempDir out;
    const std::string log = commandOutput(
        std::string(QUILLFEN_CLI_PATH) + " demux --forced-only --select v0,s00,s01 -o '" +
        out.path + "' '" + media() + "/disc/VIDEO_TS/VTS_01_1.VOB'");
    EXPECT_NE(log.find("Left out of VTS_01_1.mkvmerge.json, nothing was written to them: "
                       "VTS_01_1.Subpicture.01.German.sub"),
              std::string::npos)
        << log;
    // mkvmerge fails on an empty track: with it left out, it muxes without a warning.
    ASSERT_EQ(std::system(("cd '" + out.path + "' && mkvmerge -q @VTS_01_1.mkvmerge.json").c_str()),
              0);
    const Json j = Json::parse(commandOutput("mkvmerge -J '" + out.path + "/VTS_01_1.mkv'"));
    ASSERT_EQ(j["tracks"].size(), 2u);
    EXPECT_EQ(j["tracks"][1]["properties"]["track_name"], "Subpicture.00.English");
    EXPECT_TRUE(j["tracks"][1]["properties"]["forced_track"]);
    EXPECT_FALSE(j["tracks"][1]["properties"]["default_track"]);
}

TEST(DvdCommandLine, ForcedOnlyDelayInNameAndTheReport) {
    if (media().empty()) GTEST_SKIP() << "QUILLFEN_DVD_MEDIA is not set";
    TempDir out;
    const Json j =
        Json::parse(commandOutput(std::string(QUILLFEN_CLI_PATH) + " demux --json --forced-only " +
                                  "--delay-in-name --no-mkvmerge-options -o '" + out.path + "' '" +
                                  media() + "/disc/VIDEO_TS/VTS_01_1.VOB'"));
    std::vector<std::string> files;
    for (const Json& f : j["files"]) files.push_back(namePart(f["path"]));
    EXPECT_EQ(files,
              (std::vector<std::string>{
                  "VTS_01_1.MPEG-2.stream.0.mpv", "VTS_01_1.DD.stream.00.English DELAY -5ms.mpa",
                  "VTS_01_1.DD.stream.01.German DELAY 115ms.mpa",
                  "VTS_01_1.Subpicture.00.English.idx", "VTS_01_1.Subpicture.00.English.sub",
                  "VTS_01_1.Subpicture.01.German.idx", "VTS_01_1.Subpicture.01.German.sub"}));
    std::vector<bool> forced;
    for (const Json& s : j["streams"])
        if (s["slot"] == "s00")
            for (const Json& u : s["units"]) forced.push_back(u["forced"]);
    EXPECT_EQ(forced, (std::vector<bool>{false, true, false}));
    const auto packets = numbers(ffprobe(
        out.path, "-show_entries packet=pts_time -of csv=p=0 VTS_01_1.Subpicture.00.English.idx"));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_NEAR(packets[0], 3.0, kFrame);
}

} // namespace
} // namespace qf::test
