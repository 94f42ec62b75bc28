#include "video_fixture.h"

namespace qf::test {
namespace {

// Most-significant-bit-first writer for hand-built headers.
class BitWriter {
public:
    void put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    // Pads with zero bits to the next byte boundary.
    VideoBytes bytes() const { return bytes_; }

private:
    VideoBytes bytes_;
    size_t used_ = 0;
};

// Fields of an advanced-profile sequence header, defaults as on an HD DVD at 1080i.
struct SequenceHeader {
    uint32_t profile = 3, level = 3, colourDiff = 1;
    uint32_t maxWidth = 959, maxHeight = 539; // coded as (size - 2) / 2
    uint32_t pulldown = 1, interlace = 1, displayExt = 1;
    uint32_t dispWidth = 1919, dispHeight = 1079; // coded as size - 1
    uint32_t aspectFlag = 1, aspect = 1;
    uint32_t aspectHoriz = 0, aspectVert = 0; // only with aspect 15
    uint32_t rateFlag = 1, rateInd = 0, rateNr = 1, rateDr = 2, rateExp = 0;

    VideoBytes bytes() const {
        BitWriter w;
        w.put(0x0000010F, 32);
        w.put(profile, 2);
        w.put(level, 3);
        w.put(colourDiff, 2);
        w.put(7, 3);  // FRMRTQ_POSTPROC
        w.put(31, 5); // BITRTQ_POSTPROC
        w.put(0, 1);  // POSTPROCFLAG
        w.put(maxWidth, 12);
        w.put(maxHeight, 12);
        w.put(pulldown, 1);
        w.put(interlace, 1);
        w.put(0, 1); // TFCNTRFLAG
        w.put(0, 1); // FINTERPFLAG
        w.put(1, 1); // reserved
        w.put(0, 1); // PSF
        w.put(displayExt, 1);
        if (displayExt) {
            w.put(dispWidth, 14);
            w.put(dispHeight, 14);
            w.put(aspectFlag, 1);
            if (aspectFlag) {
                w.put(aspect, 4);
                if (aspect == 15) w.put(aspectHoriz << 8 | aspectVert, 16);
            }
            w.put(rateFlag, 1);
            if (rateFlag) {
                w.put(rateInd, 1);
                if (rateInd)
                    w.put(rateExp, 16);
                else
                    w.put(rateNr << 4 | rateDr, 12);
            }
            w.put(0, 1); // COLOR_FORMAT_FLAG
        }
        w.put(0, 1); // HRD_PARAM_FLAG
        w.put(1, 1); // rbsp stop bit
        return w.bytes();
    }
};

// An entry point, then a frame start code with a few bytes of frame header.
const VideoBytes kEntryPoint{0, 0, 1, 0x0E, 0x4A, 0xE8, 0x01, 0xA0};
const VideoBytes kFrame{0, 0, 1, 0x0D, 0xC8, 0x10, 0x82, 0x7A, 0x55, 0x33};

VideoBytes operator+(VideoBytes a, const VideoBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const VideoLines kHdDvd{"   Sequence Header found",
                        "   0 frames before first I-frame",
                        "   Advanced Profile",
                        "   Level = 3",
                        "   Chroma Format = 4:2:0",
                        "   Size = [bl]1920[/bl]x[bl]1080[/bl]",
                        "   Pulldown = 1",
                        "   Interlace = 1",
                        "   Display Horizontal size = 1920",
                        "   Display Vertical size = 1080",
                        "   Aspect ratio = [bl]1:1[/bl] (square samples)",
                        "   Frame Rate = [bl]23.976[/bl] (24000/1001)"};

class Vc1Test : public VideoAnalyserTest {
protected:
    VideoLines run(const VideoBytes& payload, int64_t pts = 0x89ABCDEF, size_t p = 100) {
        vc1(p, place(p, payload), pts);
        return log();
    }
    // The lines after the fixed fields, for a header followed by an entry point.
    VideoLines rateLines(const SequenceHeader& h) {
        host.lines.clear();
        run(h.bytes() + kEntryPoint);
        return VideoLines(log().begin() + 11, log().end());
    }
};

TEST_F(Vc1Test, HdDvdSequenceWithPtsAtTheSecondFrame) {
    const VideoBytes stream = SequenceHeader{}.bytes() + kEntryPoint + kFrame + kFrame + kFrame;
    VideoLines expected = kHdDvd;
    expected.push_back("   First Video PTS = 0000000089ABCDEF");
    EXPECT_EQ(run(stream), expected);

    // One frame after the header: no PTS line.
    host.lines.clear();
    EXPECT_EQ(run(SequenceHeader{}.bytes() + kEntryPoint + kFrame), kHdDvd);

    expectCutsArePrefixes(stream, expected, [&](size_t p, size_t n) { vc1(p, n, 0x89ABCDEF); });

    // The line comes with the fourth byte after the second frame's start code.
    const size_t frame = findStartCode(stream, 0x0D, 1);
    for (size_t n : {frame + 7, frame + 8}) {
        host.lines.clear();
        vc1(64, n, 0x89ABCDEF);
        EXPECT_EQ(log().size(), n == frame + 7 ? kHdDvd.size() : expected.size());
    }
}

TEST_F(Vc1Test, FramesBeforeTheHeaderAndHeadersAfterTheRate) {
    // Two frames first; the header after the frame rate adds nothing.
    const VideoBytes header = SequenceHeader{}.bytes() + kEntryPoint;
    VideoLines expected = kHdDvd;
    expected[1] = "   2 frames before first I-frame";
    EXPECT_EQ(run(kFrame + kFrame + header + header), expected);
}

TEST_F(Vc1Test, HeadersWithoutFrameRateAreReportedAgain) {
    SequenceHeader noDisplay;
    noDisplay.displayExt = 0;
    SequenceHeader noAspect; // a coded frame rate is not looked for without an aspect ratio
    noAspect.aspectFlag = 0;
    const VideoLines sized(kHdDvd.begin() + 2, kHdDvd.begin() + 8);
    VideoLines expected{kHdDvd[0], kHdDvd[1]};
    expected.insert(expected.end(), sized.begin(), sized.end());
    expected.push_back(kHdDvd[0]);
    expected.insert(expected.end(), sized.begin(), sized.end());
    expected.insert(expected.end(), kHdDvd.begin() + 8, kHdDvd.begin() + 10);
    expected.push_back(kHdDvd[0]);
    expected.insert(expected.end(), kHdDvd.begin() + 2, kHdDvd.end());
    EXPECT_EQ(run(noDisplay.bytes() + kEntryPoint + noAspect.bytes() + kEntryPoint +
                  SequenceHeader{}.bytes() + kEntryPoint),
              expected);
}

TEST_F(Vc1Test, ReservedProfileLevelAndChroma) {
    SequenceHeader h;
    h.profile = 2;
    h.level = 5;
    h.colourDiff = 0;
    h.maxWidth = 359; // 720x576
    h.maxHeight = 287;
    h.pulldown = 0;
    h.interlace = 0;
    h.displayExt = 0;
    EXPECT_EQ(
        run(h.bytes()),
        (VideoLines{"   Sequence Header found", "   0 frames before first I-frame",
                    "   Reserved Profile", "   Level = Reserved", "   Chroma Format = Reserved",
                    "   Size = [bl]720[/bl]x[bl]576[/bl]", "   Pulldown = 0", "   Interlace = 0"}));
}

TEST_F(Vc1Test, FrameRates) {
    SequenceHeader h;
    h.rateNr = 2;
    h.rateDr = 1;
    EXPECT_EQ(rateLines(h), VideoLines{"   Frame Rate = [bl]25[/bl] (25000/1000)"});
    h.rateNr = 3;
    h.rateDr = 2;
    EXPECT_EQ(rateLines(h), VideoLines{"   Frame Rate = [bl]29.97[/bl] (30000/1001)"});
    h.rateNr = 7;
    h.rateDr = 1;
    EXPECT_EQ(rateLines(h), VideoLines{"   Frame Rate = [bl]72[/bl] (72000/1000)"});

    h.rateInd = 1;
    h.rateExp = 0x02FF; // (767 + 1) / 32
    EXPECT_EQ(rateLines(h), VideoLines{"   Frame Rate =24"});
    h.rateExp = 958;
    EXPECT_EQ(rateLines(h), VideoLines{"   Frame Rate =29.96875"});

    // Aspect ratio 15 carries its own ratio first; its leading bit stands where the
    // frame-rate flag would be, so a clear bit means no frame-rate line.
    h.aspect = 15;
    h.aspectHoriz = 0x40;
    EXPECT_EQ(rateLines(h), VideoLines{});
    EXPECT_EQ(log()[10], "   Aspect ratio = ");
}

TEST_F(Vc1Test, LocaleDecimalSeparator) {
    ctx.time.decimalSeparator = ',';
    EXPECT_EQ(run(SequenceHeader{}.bytes()).back(), "   Frame Rate = [bl]23,976[/bl] (24000/1001)");
    SequenceHeader h;
    h.rateInd = 1;
    h.rateExp = 958;
    EXPECT_EQ(rateLines(h), VideoLines{"   Frame Rate =29,96875"});
}

TEST_F(Vc1Test, ForbiddenAndReservedRatesShowZero) {
    SequenceHeader h;
    h.rateNr = 0;
    h.rateDr = 1;
    EXPECT_EQ(rateLines(h),
              (VideoLines{"   Forbidden Frame Rate!", "   Frame Rate = [bl]0[/bl] (0/1000)"}));
    h.rateNr = 2;
    h.rateDr = 0;
    EXPECT_EQ(rateLines(h),
              (VideoLines{"   Forbidden Frame Rate!", "   Frame Rate = [bl]0[/bl] (25000/0)"}));
    h.rateNr = 8;
    h.rateDr = 3;
    EXPECT_EQ(rateLines(h), (VideoLines{"   Reserved Frame Rate!", "   Reserved Frame Rate!",
                                        "   Frame Rate = [bl]0[/bl] (0/0)"}));
}

TEST_F(Vc1Test, StaysInsideTheRun) {
    // A start code as the last bytes of the run, with the header behind it in the buffer.
    const VideoBytes header = SequenceHeader{}.bytes();
    place(64, header);
    vc1(64, 4, 0);
    EXPECT_EQ(log(), (VideoLines{kHdDvd[0], kHdDvd[1]}));

    // A run ending at the very end of the buffer, and one said to reach beyond it.
    host.lines.clear();
    const size_t p = kBlockSize - header.size();
    place(p, header);
    vc1(p, header.size() + 1000, 0);
    vc1(kBlockSize, 10, 0);
    EXPECT_EQ(log(), kHdDvd);
}

// The sample aspect ratio the log shows is a value too; codes without a ratio give none.
TEST_F(Vc1Test, SampleAspectValue) {
    for (const auto& [code, ratio] : std::vector<std::pair<uint32_t, const char*>>{
             {1, "1:1"}, {3, "10:11"}, {13, "160:99"}, {0, nullptr}, {14, nullptr}}) {
        SequenceHeader h;
        h.aspect = code;
        const Vc1Info info = parseVc1(h.bytes() + kEntryPoint, 0);
        EXPECT_STREQ(
            firstOf<Vc1Aspect>(info, [](const Vc1Aspect& a) { return vc1SampleAspect(a.code); }),
            ratio)
            << code;
    }
}

} // namespace
} // namespace qf::test
