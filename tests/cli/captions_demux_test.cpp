// Closed captions through a demux: a VOB whose MPEG-2 video carries line-21 captions in its
// GOP user data gives BASE.CC1.srt, which says what ffmpeg's caption decoder reads in the
// same video, and the options file hands it to mkvmerge; --no-captions leaves it out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
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

} // namespace
} // namespace qf::test
