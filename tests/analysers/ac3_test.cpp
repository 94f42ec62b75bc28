#include "audio_fixture.h"

namespace qf::test {
namespace {

class AC3Test : public AudioAnalyserTest {};

const Lines kStereo192 = {
    "   Stream 3 is [b]Dolby Digital[/b]",
    "   Sampling frequency = [bl]48[/bl] kHz",
    "   Transmission bitrate = [bl]192[/bl] kbit/s",
    "   Channel arrangement = [bl]L + R[/bl], bsid = 8, bsmod =0",
};

const Lines kEac3 = {
    "   Stream 0 is [b]Dolby Digital Plus[/b]",
    "   frame size = 1536 bytes, number of blocks per frame = 6",
    "   Sampling frequency = [bl]48[/bl] kHz",
    "   Transmission bitrate = [bl]384[/bl] kbit/s",
    "   Channel arrangement = [bl]L + R + C + Ls + Rs[/bl], bsid = 16",
    "   LFE channel = [bl]present[/bl]",
};

// Two encoder frames in one payload: the second sync word is ignored.
TEST_F(AC3Test, StereoFramesGiveOneReport) {
    const size_t n = place(100, sample("ac3_48k_192k_stereo.ac3"));
    ac3(100, n, 3);
    EXPECT_EQ(log(), kStereo192);
}

TEST_F(AC3Test, FrequencyUsesLocaleSeparator) {
    const Bytes mono = sample("ac3_44k1_96k_mono.ac3");
    const size_t n = place(0, mono);
    ac3(0, n, 1);
    ctx.time.decimalSeparator = ',';
    ac3(0, n, 1);
    EXPECT_EQ(log(), (Lines{
                         "   Stream 1 is [b]Dolby Digital[/b]",
                         "   Sampling frequency = [bl]44.1[/bl] kHz",
                         "   Transmission bitrate = [bl]96[/bl] kbit/s",
                         "   Channel arrangement = [bl]mono[/bl], bsid = 8, bsmod =0",
                         "   Stream 1 is [b]Dolby Digital[/b]",
                         "   Sampling frequency = [bl]44,1[/bl] kHz",
                         "   Transmission bitrate = [bl]96[/bl] kbit/s",
                         "   Channel arrangement = [bl]mono[/bl], bsid = 8, bsmod =0",
                     }));
}

// frmsizecod 30 is the 448 kbit/s row of the table.
TEST_F(AC3Test, FiveOneAt448) {
    const size_t n = place(7, sample("ac3_48k_448k_51.ac3"));
    ac3(7, n, 0);
    EXPECT_EQ(ctx.io.ReadBuffer[11], 0x1E);
    EXPECT_EQ(log(),
              (Lines{
                  "   Stream 0 is [b]Dolby Digital[/b]",
                  "   Sampling frequency = [bl]48[/bl] kHz",
                  "   Transmission bitrate = [bl]448[/bl] kbit/s",
                  "   Channel arrangement = [bl]L + R + C + Ls + Rs[/bl], bsid = 8, bsmod =0",
              }));
}

TEST_F(AC3Test, EnhancedFiveOne) {
    const size_t n = place(0, sample("eac3_51.eac3"));
    ac3(0, n, 0);
    EXPECT_EQ(log(), kEac3);
}

// The bsid alone decides the reading; only the header bytes are handed in so
// that an invalid header does not go on to scan the frame data.
TEST_F(AC3Test, BsidDecidesTheKind) {
    Bytes frame = sample("eac3_51.eac3");
    frame.resize(7);
    auto runWithBsid = [&](int bsid) {
        host.lines.clear();
        frame[5] = static_cast<uint8_t>(bsid << 3 | 7);
        ac3(0, place(0, frame), 0);
        return log();
    };
    Lines eac3Bsid11 = kEac3;
    eac3Bsid11[4] = "   Channel arrangement = [bl]L + R + C + Ls + Rs[/bl], bsid = 11";
    EXPECT_EQ(runWithBsid(11), eac3Bsid11);
    EXPECT_EQ(runWithBsid(16), kEac3);
    // As AC-3 the third byte 0x3F has the reserved frmsizecod 63, and acmod
    // comes from the fifth byte 0xC0.
    for (int bsid : {10, 17}) {
        EXPECT_EQ(runWithBsid(bsid),
                  (Lines{
                      "   Stream 0 is [b]Dolby Digital[/b]",
                      "   Sampling frequency = [bl]48[/bl] kHz",
                      "   Transmission bitrate = [bl]0[/bl] kbit/s",
                      "   Channel arrangement = [bl]L + R + Ls + Rs[/bl], bsid = " +
                          std::to_string(bsid) + ", bsmod =7",
                  }));
    }
}

// An AC-3 header read as E-AC-3: frmsiz from the CRC bytes, 2 blocks.
TEST_F(AC3Test, EnhancedRateComputedFromFrameSize) {
    Bytes frame = sample("ac3_48k_192k_stereo.ac3");
    frame.resize(7);
    frame[5] = 16 << 3;
    ac3(0, place(0, frame), 2);
    EXPECT_EQ(log(), (Lines{
                         "   Stream 2 is [b]Dolby Digital Plus[/b]",
                         "   frame size = 3372 bytes, number of blocks per frame = 2",
                         "   Sampling frequency = [bl]48[/bl] kHz",
                         "   Transmission bitrate = [bl]2529[/bl] kbit/s",
                         "   Channel arrangement = [bl]L + R[/bl], bsid = 16",
                         "   LFE channel = [bl]not present[/bl]",
                     }));
}

// fscod 3 on E-AC-3: no computed rate, the table value of the third byte shows.
TEST_F(AC3Test, EnhancedReservedFscodKeepsTableRate) {
    Bytes frame = sample("eac3_51.eac3");
    frame.resize(7);
    frame[4] = 0xD4; // fscod 3, numblkscod 1, acmod 2, lfeon 0; frmsizecod 20
    ac3(0, place(0, frame), 0);
    EXPECT_EQ(log(), (Lines{
                         "   Stream 0 is [b]Dolby Digital Plus[/b]",
                         "   frame size = 1536 bytes, number of blocks per frame = 2",
                         "   Sampling frequency = [bl]0[/bl] kHz",
                         "   Transmission bitrate = [bl]192[/bl] kbit/s",
                         "   Channel arrangement = [bl]L + R[/bl], bsid = 16",
                         "   LFE channel = [bl]not present[/bl]",
                     }));
}

// An invalid header clears the busy flag, so the next frame is reported too.
TEST_F(AC3Test, InvalidHeaderThenValid) {
    Bytes frames = sample("ac3_48k_192k_stereo.ac3");
    frames[4] |= 0xC0; // fscod 3 in the first frame
    ac3(0, place(0, frames), 3);
    Lines expected = {
        "   Stream 3 is [b]Dolby Digital[/b]",
        "   Sampling frequency = [bl]0[/bl] kHz",
        "   Transmission bitrate = [bl]192[/bl] kbit/s",
        "   Channel arrangement = [bl]L + R[/bl], bsid = 8, bsmod =0",
    };
    expected.insert(expected.end(), kStereo192.begin(), kStereo192.end());
    EXPECT_EQ(log(), expected);
}

// A sync word met inside the header bytes is skipped, not counted: the fields
// are read one byte later. Restarting the header there would misread them.
TEST_F(AC3Test, SyncWordInsideHeaderIgnoredWhileBusy) {
    const Bytes bytes = {0x0B, 0x77, 0x0B, 0x77, 0x95, 0x14, 0x40, 0x43};
    ac3(0, place(0, bytes), 3);
    EXPECT_EQ(log(), kStereo192);
}

TEST_F(AC3Test, PayloadBoundaries) {
    const Bytes frame = sample("ac3_48k_192k_stereo.ac3");
    place(50, frame);
    // Sync word straddling the payload start.
    ac3(51, 8, 3);
    EXPECT_TRUE(log().empty());
    // Sync word ending on the last byte; payload cut before the fifth header byte.
    ac3(50, 2, 3);
    ac3(50, 6, 3);
    ac3(50, 0, 3);
    EXPECT_TRUE(log().empty());
    // Exactly the header.
    ac3(50, 7, 3);
    EXPECT_EQ(log(), kStereo192);
}

// A length past the end of the buffer is cut at the buffer's end.
TEST_F(AC3Test, HeaderAtBufferEnd) {
    Bytes frame = sample("ac3_48k_192k_stereo.ac3");
    frame.resize(7);
    const size_t p = kBlockSize - frame.size();
    place(p, frame);
    ac3(p, 1000, 3);
    EXPECT_EQ(log(), kStereo192);
}

} // namespace
} // namespace qf::test
