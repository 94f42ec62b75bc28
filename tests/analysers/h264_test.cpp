#include "video_fixture.h"

namespace qf::test {
namespace {

class H264Test : public VideoAnalyserTest {
protected:
    // Runs the analyser over bytes placed at an arbitrary offset of the buffer.
    VideoLines run(const VideoBytes& payload, size_t p = 100) {
        h264(p, place(p, payload));
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

    // A delimiter header completed where the parameter-set fields would be is a delimiter,
    // and the set, which ends before its first byte, writes nothing.
    host.lines.clear();
    EXPECT_EQ(run({0, 0, 1, 0x67, 0, 0, 1, 9, 0x10, 0x42}),
              VideoLines{"   0 frames before first I-frame"});
}

// Most-significant-bit-first writer of parameter-set fields.
struct Bits {
    VideoBytes bytes;
    int used = 8;
    size_t count = 0;
    void u(int n, uint32_t v) {
        for (int k = n - 1; k >= 0; --k) {
            if (used == 8) bytes.push_back(0), used = 0;
            bytes.back() = static_cast<uint8_t>(bytes.back() | ((v >> k) & 1) << (7 - used++));
            ++count;
        }
    }
    void ue(uint32_t v) {
        int len = 0;
        while ((v + 1) >> (len + 1)) ++len;
        u(len, 0);
        u(len + 1, v + 1);
    }
};

// A sequence parameter set from profile_idc up to its cropping fields: 1920x1080 4:2:0 in
// 1088 coded lines. `spsId` and `pocType` only move the fields' bit positions.
Bits parameterSet(uint8_t profile, uint32_t spsId = 0, uint32_t pocType = 0) {
    Bits b;
    b.u(8, profile);
    b.u(8, 0);  // constraint flags
    b.u(8, 40); // level_idc
    b.ue(spsId);
    if (profile == 100 || profile == 144) {
        b.ue(1);   // chroma_format_idc
        b.ue(0);   // bit_depth_luma_minus8
        b.ue(0);   // bit_depth_chroma_minus8
        b.u(2, 0); // qpprime_y_zero_transform_bypass_flag, seq_scaling_matrix_present_flag
    }
    b.ue(0); // log2_max_frame_num_minus4
    b.ue(pocType);
    if (pocType == 0) b.ue(0);
    b.ue(1);   // max_num_ref_frames
    b.u(1, 0); // gaps_in_frame_num_value_allowed_flag
    b.ue(119); // pic_width_in_mbs_minus1
    b.ue(67);  // pic_height_in_map_units_minus1
    b.u(2, 3); // frame_mbs_only_flag, direct_8x8_inference_flag
    b.u(1, 1); // frame_cropping_flag
    b.ue(0);
    b.ue(0);
    b.ue(0);
    b.ue(4); // 8 lines off the bottom
    return b;
}

// A parameter-set NAL unit, with emulation prevention as an encoder writes it.
VideoBytes nal(const VideoBytes& set) {
    VideoBytes b = {0, 0, 1, 0x67};
    int zeros = 0;
    for (uint8_t x : set) {
        if (zeros == 2 && x <= 3) {
            b.push_back(3);
            zeros = 0;
        }
        b.push_back(x);
        zeros = x == 0 ? zeros + 1 : 0;
    }
    return b;
}

// Faults a differential test found: a set cut inside its first bytes read on into the next
// NAL unit, profile 144 read without its chroma fields, and a size line that waited for
// the bit after its fields.
TEST_F(H264Test, ParameterSetsEndWhereTheyEnd) {
    const VideoBytes stream = sample("h264_baseline_l1b_176x144_25.264");
    const size_t sps = findStartCode(stream, 0x67);
    VideoBytes cut = {0, 0, 1, 0x67, 0x64};
    cut.insert(cut.end(), stream.begin() + static_cast<long>(sps), stream.begin() + sps + 40);
    EXPECT_EQ(run(cut), (VideoLines{"   High Profile", "   Baseline Profile", "   Level = 1b",
                                    "   size = 176x144", "   Frame rate = [bl]25[/bl] fps"}));

    Bits high444 = parameterSet(144);
    high444.u(2, 2); // vui_parameters_present_flag 0, rbsp_stop_one_bit
    host.lines.clear();
    EXPECT_EQ(run(nal(high444.bytes)),
              (VideoLines{"   High 4:4:4 Profile", "   Level = 40", "   size = 1920x1080"}));

    // The cropping fields end a byte, and the next start code follows.
    for (uint32_t pocType : {0u, 2u}) {
        for (uint32_t spsId : {0u, 1u, 3u, 7u}) {
            const Bits b = parameterSet(100, spsId, pocType);
            if (b.count % 8 != 0) continue;
            VideoBytes two = nal(b.bytes), next = nal(parameterSet(77).bytes);
            two.insert(two.end(), next.begin(), next.end());
            host.lines.clear();
            EXPECT_EQ(run(two),
                      (VideoLines{"   High Profile", "   Level = 40", "   size = 1920x1080",
                                  "   Main Profile", "   Level = 40", "   size = 1920x1080"}))
                << spsId << " " << pocType;
            return;
        }
    }
    FAIL() << "no layout ends the cropping fields on a byte";
}

// delta_scale values far outside their range leave the arithmetic defined.
TEST_F(H264Test, HugeScalingListDeltas) {
    Bits b;
    b.u(24, 100 << 16 | 40);
    b.ue(0);
    b.ue(1);
    b.ue(0);
    b.ue(0);
    b.u(1, 0);
    b.u(1, 1); // seq_scaling_matrix_present_flag
    b.u(1, 1); // the first list is present
    for (uint32_t tail : {0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFFFEu}) {
        b.u(31, 0); // se(v) of +-(2^31 - 1), the largest the reader takes
        b.u(32, tail);
    }
    run(nal(b.bytes));
    EXPECT_EQ(log().at(0), "   High Profile");
}

TEST_F(H264Test, CutPayloadsReportWhatWasComplete) {
    const VideoBytes stream = sample("h264_baseline_l1b_176x144_25.264");
    const size_t sps = findStartCode(stream, 0x67);
    const VideoLines once{"   Baseline Profile", "   Level = 1b", "   size = 176x144",
                          "   Frame rate = [bl]25[/bl] fps"};
    VideoLines full{"   0 frames before first I-frame"};
    full.insert(full.end(), once.begin(), once.end());
    full.insert(full.end(), once.begin(), once.end());
    expectCutsArePrefixes(stream, full, [&](size_t p, size_t n) { h264(p, n); });

    // Cut after profile_idc: only the profile line, although level_idc follows in the buffer.
    host.lines.clear();
    h264(64, sps + 5);
    EXPECT_EQ(log(), (VideoLines{"   0 frames before first I-frame", "   Baseline Profile"}));

    // Start codes as the last bytes of the run start nothing.
    host.lines.clear();
    h264(64 + sps, 4);
    h264(64 + 1, 4);
    EXPECT_EQ(log(), VideoLines{});
}

TEST_F(H264Test, StaysInsideTheBuffer) {
    // A run ending at the very end of the buffer, and one said to reach beyond it.
    const VideoBytes stream = sample("h264_baseline_l1b_176x144_25.264");
    const size_t p = kBlockSize - stream.size();
    place(p, stream);
    h264(p, stream.size() + 1000);
    h264(kBlockSize, 10);
    EXPECT_EQ(log().size(), 9u);
}

} // namespace
} // namespace qf::test
