// LPCM through a whole demux: ffmpeg makes a VOB with MPEG-2 video and 24-bit DVD-Video
// LPCM; the demux's FLAC (by default, with the options file) or WAV (--pcm wav) decodes to
// the samples ffmpeg decodes from the VOB, and mkvmerge muxes the FLAC from the options file.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"
#include "support/ps_builder.h"

namespace qf {
namespace {

using namespace qf::test;

std::string samples(const std::string& path) {
    return commandOutput("ffmpeg -nostdin -v error -i '" + path +
                         "' -map 0:a:0 -f s32le - 2>/dev/null");
}

TEST(PcmDemuxTest, LpcmBecomesFlacForMkvmergeOrWavByChoice) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    ASSERT_TRUE(ffmpeg(dir.path, "-f lavfi -i testsrc=size=720x576:rate=25:d=1 -f lavfi -i "
                                 "'aevalsrc=exprs=random(0)*2-1|random(1)*2-1:s=48000:d=1' "
                                 "-c:v mpeg2video -c:a pcm_dvd -sample_fmt s32 -f vob in.vob"));
    const std::string want = samples(dir / "in.vob");
    ASSERT_FALSE(want.empty());

    const CliResult flac = runCli({"demux", dir / "in.vob", "-o", dir.path});
    ASSERT_EQ(flac.status, 0) << flac.err;
    const std::string file = dir / "in.LPCM.stream.00.flac";
    EXPECT_TRUE(decodesCleanly(file));
    EXPECT_TRUE(samples(file) == want);
    const Bytes json = readFile(dir / "in.mkvmerge.json");
    const std::string options(json.begin(), json.end());
    EXPECT_NE(options.find("\"in.LPCM.stream.00.flac\""), std::string::npos) << options;
    int status = -1;
    commandOutput("cd '" + dir.path + "' && mkvmerge -q @in.mkvmerge.json", &status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(samples(dir / "in.mkv") == want);

    const CliResult wav = runCli({"demux", dir / "in.vob", "-o", dir.path, "--pcm", "wav"});
    ASSERT_EQ(wav.status, 0) << wav.err;
    EXPECT_TRUE(samples(dir / "in.LPCM.stream.00.wav") == want);
}

} // namespace
} // namespace qf
