// The --json report: parsed as a script would, and its streams held against ffprobe's.
#include <nlohmann/json.hpp>

#include <memory>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;

Json parsed(const CliResult& r) {
    EXPECT_EQ(r.status, 0) << r.err;
    return Json::parse(r.out); // throws, and so fails the test, unless it is one document
}

// "30000/1001" as a number.
double ratio(const std::string& text) {
    const size_t slash = text.find('/');
    return std::stod(text.substr(0, slash)) / std::stod(text.substr(slash + 1));
}

// A DVD program stream ffmpeg muxed: MPEG-2 video, 5.1 AC-3, stereo DTS, mono MP2, and
// AC-3 2.1 at the top rate (its LFE flag sits behind the stereo surround mode).
class JsonReportTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<TempDir> media;

    static void SetUpTestSuite() {
        if (!haveFfmpeg()) return;
        media = std::make_unique<TempDir>();
        const std::string tone = " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2";
        if (!ffmpeg(media->path, "-f lavfi -i testsrc=size=352x288:rate=30000/1001:duration=2" +
                                     tone + tone + tone + tone +
                                     " -map 0 -map 1 -map 2 -map 3 -map 4 -c:v mpeg2video"
                                     " -c:a:0 ac3 -ac:a:0 6 -c:a:1 dca -strict -2 -ac:a:1 2"
                                     " -c:a:2 mp2 -ac:a:2 1 -c:a:3 ac3 -b:a:3 640k"
                                     " -af:a:3 'pan=2.1|c0=c0|c1=c0|c2=c0' -f dvd title.VOB"))
            media.reset();
    }
    static void TearDownTestSuite() { media.reset(); }
};

TEST_F(JsonReportTest, StreamsAgreeWithFfprobe) {
    if (!media) GTEST_SKIP() << "ffmpeg with mpeg2video, ac3, dca and mp2 is not available";
    const std::string source = media->path + "/title.VOB";
    const Json report = parsed(runCli({"read", "--json", source}));
    const Json probe =
        Json::parse(ffprobe(media->path, "-show_streams -of json title.VOB"))["streams"];

    const std::map<std::string, std::string> kinds = {
        {"mpeg2video", "MPEG-2"}, {"ac3", "AC-3"}, {"dts", "DTS"}, {"mp2", "MPEG audio"}};
    size_t matched = 0;
    for (const Json& p : probe) {
        const std::string type = p["codec_type"];
        if (type != "video" && type != "audio") continue;
        const int id = std::stoi(p["id"].get<std::string>(), nullptr, 16) & 0xFF;
        SCOPED_TRACE(p["codec_name"].get<std::string>());
        const auto s = std::find_if(report["streams"].begin(), report["streams"].end(),
                                    [&](const Json& j) { return j["stream_id"] == id; });
        ASSERT_NE(s, report["streams"].end());
        ++matched;
        EXPECT_EQ((*s)["kind"], kinds.at(p["codec_name"]));
        EXPECT_EQ((*s)["family"], type);
        EXPECT_TRUE((*s)["selected"]);
        const Json& d = (*s)["details"];
        if (type == "video") {
            EXPECT_EQ(d["width"], p["width"]);
            EXPECT_EQ(d["height"], p["height"]);
            EXPECT_NEAR(d["frame_rate"].get<double>(), ratio(p["r_frame_rate"]), 1e-9);
            EXPECT_EQ((*s)["delay_ms"], 0);
        } else {
            EXPECT_EQ(d["sampling_rate"], std::stoi(p["sample_rate"].get<std::string>()));
            EXPECT_EQ(d["channels"], p["channels"]);
            EXPECT_EQ(d["bit_rate"], std::stoi(p["bit_rate"].get<std::string>()));
        }
    }
    EXPECT_EQ(matched, report["streams"].size());
    EXPECT_EQ(matched, 5u);
    EXPECT_EQ(report["frames"][0]["count"], 60);
    EXPECT_EQ(report["sources"][0]["path"], source);
    EXPECT_TRUE(report["read_complete"]);
    EXPECT_FALSE(report.contains("files"));
}

// What a script does: read the report, pick a stream by its slot, demux just that one.
TEST_F(JsonReportTest, ADemuxOfOneSlotListsItsFile) {
    if (!media) GTEST_SKIP() << "ffmpeg is not available";
    TempDir out;
    const std::string source = media->path + "/title.VOB";
    const Json read = parsed(runCli({"read", "--json", source}));
    const auto dts = std::find_if(read["streams"].begin(), read["streams"].end(),
                                  [](const Json& s) { return s["kind"] == "DTS"; });
    ASSERT_NE(dts, read["streams"].end());

    const Json demux =
        parsed(runCli({"demux", "--json", "-o", out.path, "--select",
                       (*dts)["slot"].get<std::string>(), "--no-mkvmerge-options", source}));
    const std::string file = out / ("title." + (*dts)["caption"].get<std::string>() + ".mpa");
    ASSERT_EQ(demux["files"].size(), 1u);
    EXPECT_EQ(demux["files"][0]["path"], file);
    EXPECT_EQ(demux["files"][0]["size"], readFile(file).size());
    ASSERT_EQ(demux["streams"].size(), read["streams"].size());
    for (const Json& s : demux["streams"]) EXPECT_EQ(s["selected"], s["slot"] == (*dts)["slot"]);
    EXPECT_EQ(demux["log"].back(), "");
}

// A title lists every part in order, and the files are those in the output folder.
class JsonReportOfATitle : public SampleDiscTest {};

TEST_F(JsonReportOfATitle, EveryPartAndTheFiles) {
    std::filesystem::copy_file(part2, disc + "/HVDVD_TS/FEATURE_3.EVO");
    const Json r = parsed(runCli({"demux", "--json", "-o", out, part1}));
    ASSERT_EQ(r["sources"].size(), 3u);
    EXPECT_EQ(r["sources"][1]["name"], "FEATURE_2.EVO");
    EXPECT_EQ(r["sources"][2]["name"], "FEATURE_3.EVO");
    EXPECT_EQ(r["base_name"], "FEATURE_1_FEATURE_3");
    EXPECT_EQ(parsed(runCli({"read", "--json", "--no-continue", part1}))["sources"].size(), 1u);
    EXPECT_FALSE(r["cancelled"]);
    std::vector<std::string> written;
    for (const Json& f : r["files"])
        written.push_back(f["path"].get<std::string>().substr(out.size() + 1));
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, outputs());
}

} // namespace
} // namespace qf::test
