#include "video_fixture.h"

namespace qf::test {
namespace {

class H264Test : public VideoAnalyserTest {
protected:
    // Runs the analyser over bytes placed at an arbitrary offset of the buffer.
    VideoLines run(const VideoBytes& payload, size_t p = 100) {
        H264info(ctx, p, place(p, payload), 0x1000, 0x0F00);
        return log();
    }
};

struct EncodedSample {
    const char* file;
    const char* profile;
    const char* level;
    const char* size;
    const char* rate;
};

class H264SampleTest : public H264Test, public ::testing::WithParamInterface<EncodedSample> {};

// Each sample starts with the delimiter of an IDR picture and its parameter sets.
TEST_P(H264SampleTest, ReportsWhatTheEncoderWasGiven) {
    const EncodedSample& s = GetParam();
    EXPECT_EQ(run(sample(s.file)),
              (VideoLines{"   0 frames before first I-frame", std::string("   ") + s.profile,
                          std::string("   Level = ") + s.level, std::string("   size = ") + s.size,
                          std::string("   Frame rate = [bl]") + s.rate + "[/bl] fps"}));
}

INSTANTIATE_TEST_SUITE_P(
    Libx264, H264SampleTest,
    ::testing::Values(
        // High profile cannot mark level 1b with a constraint flag; it is level_idc 9.
        EncodedSample{"h264_high_l1b_176x144_15.264", "High Profile", "9", "176x144", "15"},
        EncodedSample{"h264_main_l30_720x576_25.264", "Main Profile", "30", "720x576", "25"},
        // 1088 coded lines, 8 cropped.
        EncodedSample{"h264_high_l41_1920x1080_23976.264", "High Profile", "41", "1920x1080",
                      "23.976"},
        EncodedSample{"h264_high_l40_1920x1080i_25.264", "High Profile", "40", "1920x1080", "25"},
        EncodedSample{"h264_high10_l40_1280x720_50.264", "High 10 Profile", "40", "1280x720", "50"},
        EncodedSample{"h264_high422_l31_720x480_2997.264", "High 4:2:2 Profile", "31", "720x480",
                      "29.97"},
        // 4:4:4 is coded with profile_idc 244, which has no name here.
        EncodedSample{"h264_high444_l32_640x480_60.264", "Unknown Profile", "32", "640x480", "60"}),
    [](const auto& p) { return test::caseName(p.param.file); });

TEST_F(H264Test, BaselineLevel1bAtEveryKeyFrame) {
    // I P I P, each I with its own parameter sets: level_idc 11 plus constraint_set3.
    EXPECT_EQ(
        run(sample("h264_baseline_l1b_176x144_25.264")),
        (VideoLines{"   0 frames before first I-frame", "   Baseline Profile", "   Level = 1b",
                    "   size = 176x144", "   Frame rate = [bl]25[/bl] fps", "   Baseline Profile",
                    "   Level = 1b", "   size = 176x144", "   Frame rate = [bl]25[/bl] fps"}));
}

TEST_F(H264Test, CountsAccessUnitsBeforeTheFirstIPicture) {
    // Entering the stream at the P picture: one access unit precedes the next I.
    const VideoBytes stream = sample("h264_baseline_l1b_176x144_25.264");
    const size_t second = findStartCode(stream, 0x09, 1);
    ASSERT_LT(second, stream.size());
    EXPECT_EQ(
        run(VideoBytes(stream.begin() + static_cast<long>(second), stream.end())),
        (VideoLines{"   1 frames before first I-frame", "   Baseline Profile", "   Level = 1b",
                    "   size = 176x144", "   Frame rate = [bl]25[/bl] fps"}));

    // Two B delimiters (primary_pic_type 2), then an I; later delimiters write nothing.
    host.lines.clear();
    EXPECT_EQ(run({0, 0, 1, 9, 0x50, 0, 0, 1, 9, 0x50, 0, 0, 1, 9, 0x10, 0, 0, 1, 9, 0x10}),
              VideoLines{"   2 frames before first I-frame"});
}

TEST_F(H264Test, StartCodeHeaders) {
    // The window starts empty, so a payload opening with 00 01 09 is a delimiter too.
    EXPECT_EQ(run({0, 1, 9, 0x10}), VideoLines{"   0 frames before first I-frame"});

    // Parameter sets with nal_ref_idc 2 are not looked at; nal_ref_idc 1 is.
    host.lines.clear();
    EXPECT_EQ(run({0, 0, 1, 0x47, 66, 0x10, 11, 0, 0, 1, 0x27, 77, 0x00, 11}),
              (VideoLines{"   Main Profile", "   Level = 11"}));

    // Level 11 without constraint_set3 is level 1.1.
    host.lines.clear();
    EXPECT_EQ(run({0, 0, 1, 0x67, 66, 0xC0, 11}),
              (VideoLines{"   Baseline Profile", "   Level = 11"}));

    // A delimiter header completed while the parameter-set fields are being read is
    // still a delimiter; the remaining field byte is then passed over.
    host.lines.clear();
    EXPECT_EQ(
        run({0, 0, 1, 0x67, 0, 0, 1, 9, 0x10, 0x42}),
        (VideoLines{"   Unknown Profile", "   Level = 1", "   0 frames before first I-frame"}));
}

TEST_F(H264Test, CutPayloadsReportWhatWasComplete) {
    const VideoBytes stream = sample("h264_baseline_l1b_176x144_25.264");
    const size_t sps = findStartCode(stream, 0x67);
    const VideoLines once{"   Baseline Profile", "   Level = 1b", "   size = 176x144",
                          "   Frame rate = [bl]25[/bl] fps"};
    VideoLines full{"   0 frames before first I-frame"};
    full.insert(full.end(), once.begin(), once.end());
    full.insert(full.end(), once.begin(), once.end());
    expectCutsArePrefixes(stream, full, [&](size_t p, size_t n) { H264info(ctx, p, n, 0, 0); });

    // Cut after profile_idc: only the profile line, although level_idc follows in the buffer.
    host.lines.clear();
    H264info(ctx, 64, sps + 5, 0, 0);
    EXPECT_EQ(log(), (VideoLines{"   0 frames before first I-frame", "   Baseline Profile"}));

    // Start codes as the last bytes of the run start nothing.
    host.lines.clear();
    H264info(ctx, 64 + sps, 4, 0, 0);
    H264info(ctx, 64 + 1, 4, 0, 0);
    EXPECT_EQ(log(), VideoLines{});
}

TEST_F(H264Test, StaysInsideTheBuffer) {
    // A run ending at the very end of the buffer, and one said to reach beyond it.
    const VideoBytes stream = sample("h264_baseline_l1b_176x144_25.264");
    const size_t p = kBlockSize - stream.size();
    place(p, stream);
    H264info(ctx, p, stream.size() + 1000, 0, 0);
    H264info(ctx, kBlockSize, 10, 0, 0);
    EXPECT_EQ(log().size(), 9u);
}

} // namespace
} // namespace qf::test
