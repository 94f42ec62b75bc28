// The demonstration disc: its files, and that the jobs find and write back exactly the
// streams it was built from.
#include <gtest/gtest.h>

#include <algorithm>

#include "samples/sample_disc.h"
#include "support/ffmpeg.h"
#include "support/job_bench.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

Bytes bothParts(SampleStream s) {
    Bytes all = sampleStreamData(s, 1), second = sampleStreamData(s, 2);
    all.insert(all.end(), second.begin(), second.end());
    return all;
}

bool logHas(const RecordingEvents& host, const std::string& line) {
    return std::find(host.lines.begin(), host.lines.end(), line) != host.lines.end();
}

TEST(SampleDisc, WritesTwoWholePartsAndThePlaylist) {
    TempDir tmp;
    const std::string dir = tmp / "disc/";
    auto paths = writeSampleDisc(dir);
    EXPECT_THROW(writeSampleDisc(dir), Error); // an existing disc is kept unless replaced
    paths = writeSampleDisc(dir, true);
    ASSERT_EQ(paths, (std::vector<std::string>{tmp / "disc/HVDVD_TS/FEATURE_1.EVO",
                                               tmp / "disc/HVDVD_TS/FEATURE_2.EVO",
                                               tmp / "disc/ADV_OBJ/VPLST000.XPL"}));
    for (int part = 1; part <= 2; ++part) {
        const Bytes evo = readFile(paths[static_cast<size_t>(part - 1)]);
        EXPECT_EQ(evo, sampleTitlePart(part));
        EXPECT_EQ(evo.size() % kPackSize, 0u);
        // A navigation pack first: pack header, then the system header.
        EXPECT_EQ(Bytes(evo.begin(), evo.begin() + 4), (Bytes{0, 0, 1, 0xBA}));
        EXPECT_EQ(Bytes(evo.begin() + 14, evo.begin() + 18), (Bytes{0, 0, 1, 0xBB}));
    }
    const Bytes xpl = readFile(paths[2]);
    EXPECT_EQ(std::string(xpl.begin(), xpl.end()), samplePlaylist());

    EXPECT_THROW(writeSampleDisc("/proc/no/such/disc"), Error);
}

// Its audio and MPEG-2 video are real media: ffmpeg decodes both parts without a word.
// The VC-1 frames are placeholders and left out.
TEST(SampleDisc, AudioAndMpeg2VideoDecodeCleanly) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is missing";
    const struct {
        SampleStream stream;
        const char* input; // ffmpeg's input options for the raw stream
    } cases[] = {
        {SampleStream::MPEG2, "-f mpegvideo"},
        {SampleStream::AC3, "-f ac3"},
        {SampleStream::EAC3, "-f eac3"},
        {SampleStream::LPCM, "-f s16be -ar 48000 -ac 2"},
    };
    TempDir tmp;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const std::string file = tmp / "stream";
        writeFile(file, bothParts(c.stream));
        int status = -1;
        const std::string errors =
            commandOutput("ffmpeg -hide_banner -nostdin -v error " + std::string(c.input) +
                              " -i '" + file + "' -f null - 2>&1",
                          &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(errors, "");
    }
}

class SampleJobs : public ::testing::Test, protected JobBench {
protected:
    TempDir tmp;
    void SetUp() override {
        writeSampleDisc(tmp.path);
        choose(tmp / "HVDVD_TS/FEATURE_1.EVO");
    }
};

TEST_F(SampleJobs, ReadFindsEveryStreamWithValidHeaders) {
    read();
    EXPECT_EQ(ctx.cat.VideoSlots[0].entry(), 0x55);
    EXPECT_EQ(ctx.cat.VideoSlots[1].entry(), 0xE1);
    EXPECT_EQ(ctx.cat.AudioSlots[0].entry(), 0x80);
    EXPECT_EQ(ctx.cat.AudioSlots[1].entry(), 0xC1);
    EXPECT_EQ(ctx.cat.AudioSlots[2].entry(), 0xA2);
    EXPECT_EQ(ctx.cat.SubSlots[0].entry(), 0x20);
    // Every picture start code counted once, none made up by the filler bytes.
    EXPECT_EQ(ctx.cat.FrameCount[0], 2 * kSampleFramesPerPart);
    EXPECT_EQ(ctx.cat.FrameCount[1], 2 * kSampleFramesPerPart);
    for (const char* line : {
             "It contains 2 video streams and 3 audio streams.",
             "   Size = [bl]1920[/bl]x[bl]1080[/bl]",
             "   Frame Rate = [bl]23.976[/bl] (24000/1001)",
             "   size = [bl]720[/bl]x[bl]480[/bl]",
             "   Frame rate = [bl]23.976[/bl] fps",
             "   Transmission bitrate = [bl]448[/bl] kbit/s",
             "   frame size = 1536 bytes, number of blocks per frame = 6",
             "   LFE channel = [bl]present[/bl]",
             "   Sample size = [bl]16[/bl] bit",
             "   Channel arrangement = L + R",
             "   Format = [bl]2bitRLE[/bl]",
         })
        EXPECT_TRUE(logHas(host, line)) << line;
    EXPECT_FALSE(logHas(host, "   Frame rate = forbidden"));
}

TEST_F(SampleJobs, DemuxWritesBackTheStreamsItWasBuiltFrom) {
    request.workdir = tmp / "";
    request.output.mkvmergeOptions = false; // the names the extension settings give
    read();
    demux();
    const std::string prefix = tmp / "FEATURE_1_FEATURE_2.";
    EXPECT_EQ(readFile(prefix + "VC-1.stream.0.mpv"), bothParts(SampleStream::VC1));
    EXPECT_EQ(readFile(prefix + "MPEG-2.stream.1.mpv"), bothParts(SampleStream::MPEG2));
    EXPECT_EQ(readFile(prefix + "DD.stream.00.mpa"), bothParts(SampleStream::AC3));
    EXPECT_EQ(readFile(prefix + "DD+.stream.01.mpa"), bothParts(SampleStream::EAC3));
    EXPECT_EQ(readFile(prefix + "LPCM.stream.02.mpa"), bothParts(SampleStream::LPCM));

    // Subpicture records: "SP", the time after the earliest audio or video PTS (one
    // second in, the units half a second after each second), DTS 0, the unit.
    Bytes expected;
    const Bytes unit = sampleStreamData(SampleStream::Subpicture, 1);
    for (uint32_t pts : {45000u, 135000u, 225000u, 315000u}) {
        expected.insert(expected.end(),
                        {'S', 'P', static_cast<uint8_t>(pts), static_cast<uint8_t>(pts >> 8),
                         static_cast<uint8_t>(pts >> 16), 0, 0, 0, 0, 0});
        expected.insert(expected.end(), unit.begin(), unit.begin() + unit.size() / 2);
    }
    EXPECT_EQ(readFile(prefix + "Subpicture.00.sup"), expected);
}

} // namespace
} // namespace qf::test
