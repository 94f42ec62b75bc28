// Closed captions through a demux: a VOB whose MPEG-2 video carries line-21 captions in its
// GOP user data gives BASE.CC1.srt, which says what ffmpeg's caption decoder reads in the
// same video, and the options file hands it to mkvmerge; --no-captions leaves it out. A
// read names the channels under the video's details and in its JSON.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"
#include "support/line21_media.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

std::string readText(const std::string& path) {
    const Bytes b = readFile(path);
    return {b.begin(), b.end()};
}

TEST(CaptionsDemux, TheVideosCaptionsBecomeSrtForMkvmerge) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const std::string m2v =
        line21Stream("demux_cc1", line21Showcase(1, 1).frames(30), Line21Carriage::DvdGop);
    TempDir out;
    ASSERT_TRUE(ffmpeg(out.path, "-i '" + m2v + "' -c copy -f vob CC.VOB"));
    const CliResult r = runCli({"demux", (out / "CC.VOB"), "-o", out.path});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<SrtCue> ours = parseSrt(readText(out / "CC.CC1.srt"));
    const std::vector<SrtCue> truth = parseSrt(ffmpegSrt(m2v));
    ASSERT_GE(truth.size(), 8u);
    ASSERT_EQ(ours.size(), truth.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].text, truth[i].text) << "cue " << i + 1;
        EXPECT_LE(std::abs(ours[i].startMs - truth[i].startMs), 34) << "cue " << i + 1;
    }
    EXPECT_NE(readText(out / "CC.mkvmerge.json").find("\"CC.CC1.srt\""), std::string::npos);

    TempDir none;
    ASSERT_EQ(runCli({"demux", (out / "CC.VOB"), "-o", none.path, "--no-captions"}).status, 0);
    EXPECT_NE(::access((none / "CC.CC1.srt").c_str(), F_OK), 0);
}

// A read of a VOB made by ffmpeg from a stream with captions written in (or none).
struct CaptionRead {
    const char* name;
    int field; // 0: no captions
    Line21Carriage how;
    int late;         // pictures without captions first: the first packet holds no control code
    const char* line; // expected in the log; none: no "Closed captions" line
    std::vector<std::string> channels;
};

TEST(CaptionsRead, TheReadNamesTheChannels) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const CaptionRead cases[] = {
        {"read_gop_f1",
         1,
         Line21Carriage::DvdGop,
         0,
         "   Closed captions: CC1 (line 21, field 1)",
         {"CC1"}},
        {"read_atsc_f2",
         2,
         Line21Carriage::AtscPicture,
         0,
         "   Closed captions: CC3 (line 21, field 2)",
         {"CC3"}},
        {"read_atsc_late",
         1,
         Line21Carriage::AtscPicture,
         3,
         "   Closed captions: CC1 (line 21, field 1)",
         {"CC1"}},
        {"read_none", 0, Line21Carriage::AtscPicture, 0, nullptr, {}},
    };
    for (const CaptionRead& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Line21Frame> frames(static_cast<size_t>(c.late));
        if (c.field) {
            const std::vector<Line21Frame> shown = line21Showcase(c.field, 1).frames(30);
            frames.insert(frames.end(), shown.begin(), shown.end());
        }
        const std::string m2v = line21Stream(c.name, frames, c.how);
        TempDir out;
        ASSERT_TRUE(ffmpeg(out.path, "-i '" + m2v + "' -c copy -f vob CC.VOB"));
        const CliResult log = runCli({"read", out / "CC.VOB"});
        ASSERT_EQ(log.status, 0) << log.err;
        EXPECT_EQ(log.out.find("Closed captions") != std::string::npos, c.line != nullptr);
        if (c.line) {
            EXPECT_NE(log.out.find(std::string(c.line) + "\n"), std::string::npos) << log.out;
        }
        const CliResult json = runCli({"read", out / "CC.VOB", "--json"});
        ASSERT_EQ(json.status, 0) << json.err;
        const auto doc = nlohmann::json::parse(json.out);
        ASSERT_EQ(doc["streams"][0]["family"], "video");
        EXPECT_EQ(doc["streams"][0]["captions"].get<std::vector<std::string>>(), c.channels);
    }
}

} // namespace
} // namespace qf::test
