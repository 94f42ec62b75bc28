#include "video_fixture.h"

namespace qf::test {
namespace {

class Mpeg2Test : public VideoAnalyserTest {
protected:
    VideoLines run(const VideoBytes& payload, uint32_t pts = 0x0001E240, size_t p = 100) {
        mpeg2(p, place(p, payload), pts);
        return log();
    }
};

// A sequence header: start code, sizes, aspect ratio and frame-rate codes, bit_rate_value.
VideoBytes sequenceHeader(uint32_t width, uint32_t height, int aspect, int rate, uint32_t bitRate) {
    return {0,
            0,
            1,
            0xB3,
            static_cast<uint8_t>(width >> 4),
            static_cast<uint8_t>((width & 0xF) << 4 | height >> 8),
            static_cast<uint8_t>(height),
            static_cast<uint8_t>(aspect << 4 | rate),
            static_cast<uint8_t>(bitRate >> 10),
            static_cast<uint8_t>(bitRate >> 2),
            static_cast<uint8_t>((bitRate & 3) << 6 | 0x20),
            0};
}

VideoLines headerLines(const char* size, const char* aspect, const char* rate, const char* kbps) {
    return {std::string("   size = [bl]") + size + "[/bl]",
            std::string("   Aspect ratio = ") + aspect, std::string("   Frame rate = ") + rate,
            std::string("  Sequence header bitrate = [bl]") + kbps + "[/bl] kbps"};
}

VideoLines join(VideoLines a, const VideoLines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const VideoLines kFound{"   Sequence Header found", "   0 frames before first Sequence Header"};

struct EncodedSample {
    const char* file;
    const char* size;
    const char* aspect;
    const char* rate;
    const char* kbps; // the encoder's maximum rate
    const char* progressive;
};

class Mpeg2SampleTest : public Mpeg2Test, public ::testing::WithParamInterface<EncodedSample> {};

// The samples hold the first picture only, cut inside its data: no first-PTS line.
TEST_P(Mpeg2SampleTest, ReportsWhatTheEncoderWasGiven) {
    const EncodedSample& s = GetParam();
    EXPECT_EQ(run(sample(s.file)),
              join(join(kFound, headerLines(s.size, s.aspect, s.rate, s.kbps)),
                   {std::string("   Progressive Sequence = ") + s.progressive}));
}

INSTANTIATE_TEST_SUITE_P(
    Mpeg2video, Mpeg2SampleTest,
    ::testing::Values(EncodedSample{"mpeg2_1920x1080_2997i_16x9.m2v", "1920[/bl]x[bl]1080",
                                    "[bl]16:9[/bl]", "[bl]29.97[/bl] fps", "15000", "0"},
                      EncodedSample{"mpeg2_720x480_23976_16x9.m2v", "720[/bl]x[bl]480",
                                    "[bl]16:9[/bl]", "[bl]23.976[/bl] fps", "8000", "1"},
                      EncodedSample{"mpeg2_720x576_50_221.m2v", "720[/bl]x[bl]576",
                                    "[bl]2.21:1[/bl]", "[bl]50[/bl] fps", "9800", "1"},
                      EncodedSample{"mpeg2_500x400_60_1x1.m2v", "500[/bl]x[bl]400",
                                    "[bl]1:1[/bl] (square samples)", "[bl]60[/bl] fps", "6000",
                                    "1"}),
    [](const auto& p) { return test::caseName(p.param.file); });

const VideoLines kCif =
    join(join(kFound, headerLines("352[/bl]x[bl]288", "[bl]4:3[/bl]", "[bl]25[/bl] fps", "4000")),
         {"   Progressive Sequence = 1", "   First Video PTS = 0001E240"});

TEST_F(Mpeg2Test, WholeStreamShowsThePtsAtTheSecondPicture) {
    EXPECT_EQ(run(sample("mpeg2_352x288_25_4x3.m2v")), kCif);

    // Only the first picture after the header: no first-PTS line.
    const VideoBytes stream = sample("mpeg2_352x288_25_4x3.m2v");
    host.lines.clear();
    run(VideoBytes(stream.begin(),
                   stream.begin() + static_cast<long>(findStartCode(stream, 0, 1))));
    EXPECT_EQ(log(), VideoLines(kCif.begin(), kCif.end() - 1));

    // The line comes with the fourth byte after the second extension's identifier.
    const size_t ext = findStartCode(stream, 0xB5, 2);
    for (size_t n : {ext + 8, ext + 9}) {
        host.lines.clear();
        mpeg2(100, n, 0x0001E240);
        EXPECT_EQ(log().size(), n == ext + 8 ? kCif.size() - 1 : kCif.size());
    }
}

TEST_F(Mpeg2Test, PicturesAheadOfTheFirstHeaderAndHeadersAfterIt) {
    // Enter at the second picture, then the stream again from its start: two pictures
    // with coding extensions precede the header, and the repeated stream adds nothing.
    const VideoBytes stream = sample("mpeg2_352x288_25_4x3.m2v");
    VideoBytes payload(stream.begin() + static_cast<long>(findStartCode(stream, 0, 1)),
                       stream.end());
    payload.insert(payload.end(), stream.begin(), stream.end());
    payload.insert(payload.end(), stream.begin(), stream.end());
    VideoLines expected = kCif;
    expected[1] = "   2 frames before first Sequence Header";
    expected.back() = "   First Video PTS = FEDCBA98";
    EXPECT_EQ(run(payload, 0xFEDCBA98), expected);
}

TEST_F(Mpeg2Test, Mpeg1ReportsEverySequenceHeader) {
    // No sequence extension: both headers are shown, there is no progressive line, and
    // without picture coding extensions no first-PTS line.
    const VideoLines fields =
        headerLines("160[/bl]x[bl]120", "[bl]1:1[/bl] (square samples)", "[bl]30[/bl] fps", "1500");
    EXPECT_EQ(run(sample("mpeg1_160x120_30.m1v")), join(join(kFound, fields), fields));
}

TEST_F(Mpeg2Test, ForbiddenReservedAndLargestValues) {
    // The largest bit_rate_value, as written by encoders that state no rate.
    EXPECT_EQ(run(sequenceHeader(1920, 1080, 0, 15, 0x3FFFF)),
              join(kFound, headerLines("1920[/bl]x[bl]1080", "forbidden", "reserved", "104857")));
    host.lines.clear();
    EXPECT_EQ(run(sequenceHeader(4095, 4095, 5, 0, 1)),
              join(kFound, headerLines("4095[/bl]x[bl]4095", "reserved", "forbidden", "0")));
}

TEST_F(Mpeg2Test, PictureCodingTypes) {
    // temporal_reference 0, then picture_coding_type in bits 5-3 of the second byte.
    VideoBytes payload;
    for (int type = 0; type < 8; ++type) {
        const VideoBytes picture{0, 0, 1, 0, 0, static_cast<uint8_t>(type << 3 | 7), 0xFF, 0xF8};
        payload.insert(payload.end(), picture.begin(), picture.end());
    }
    EXPECT_EQ(
        run(payload),
        (VideoLines{"   illegal picture_coding_type = 0", "   illegal picture_coding_type = 4",
                    "   illegal picture_coding_type = 5", "   illegal picture_coding_type = 6",
                    "   illegal picture_coding_type = 7"}));
}

TEST_F(Mpeg2Test, StartCodeInsideAHeaderIsTakenAsStartCode) {
    // Sizes 0 and 1 make the header bytes 00 00 01; the next byte 00 completes a picture
    // start code, so the aspect and rate codes come from the byte after it and the
    // bit rate from the three bytes after that.
    EXPECT_EQ(run({0, 0, 1, 0xB3, 0, 0, 1, 0, 0x23, 0, 0x19, 0}),
              join(kFound, {"   size = [bl]0[/bl]x[bl]1[/bl]", "   Aspect ratio = [bl]4:3[/bl]",
                            "   Frame rate = [bl]25[/bl] fps",
                            "  Sequence header bitrate = [bl]40[/bl] kbps"}));
}

TEST_F(Mpeg2Test, CutPayloadsReportWhatWasComplete) {
    const VideoBytes stream = sample("mpeg2_352x288_25_4x3.m2v");
    expectCutsArePrefixes(stream, kCif, [&](size_t p, size_t n) { mpeg2(p, n, 0x0001E240); });

    // A sequence header start code as the last four bytes of the run.
    host.lines.clear();
    mpeg2(64, 4, 0);
    EXPECT_EQ(log(), kFound);

    // A run ending at the very end of the buffer, and one said to reach beyond it.
    host.lines.clear();
    const size_t p = kBlockSize - stream.size();
    place(p, stream);
    mpeg2(p, stream.size() + 1000, 0x0001E240);
    mpeg2(kBlockSize, 10, 0);
    EXPECT_EQ(log(), kCif);
}

// The largest bit_rate_value stands for a variable rate: the log shows it, the decoded
// values have no number for it.
TEST_F(Mpeg2Test, VariableBitRateIsNoValue) {
    for (const uint32_t rate : {0x3FFFFu, 20000u}) {
        const VideoBytes header = sequenceHeader(720, 576, 2, 3, rate);
        const Mpeg2Info info = parseMpeg2(header, 0);
        EXPECT_EQ(info.bitRate().value_or(0), rate == 20000 ? 8000000 : 0);
        EXPECT_EQ(info.width(), 720u);
        mpeg2(100, place(100, header), 0);
    }
    EXPECT_EQ(log().at(5), "  Sequence header bitrate = [bl]104857[/bl] kbps");
}

} // namespace
} // namespace qf::test
