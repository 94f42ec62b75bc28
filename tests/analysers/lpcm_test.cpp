#include "audio_fixture.h"

namespace qf::test {
namespace {

class LPCMTest : public AudioAnalyserTest {
protected:
    // Sub-stream header (id first) with the three report bytes set; the
    // payload begins right after it.
    size_t header(size_t at, uint8_t wordLength, uint8_t rate, uint8_t channels) {
        const Bytes h = {0xA0,
                         0x06,
                         static_cast<uint8_t>(wordLength << 4 | 0x0F),
                         static_cast<uint8_t>(rate << 4 | 0x0F),
                         0xFF,
                         static_cast<uint8_t>(0xE0 | channels),
                         0xFF};
        return at + place(at, h);
    }
};

TEST_F(LPCMTest, ReportsHeaderFields) {
    const size_t p = header(100, 2, 1, 1);
    lpcm(p, false);
    EXPECT_EQ(log(), (Lines{
                         "   Sample size = [bl]24[/bl] bit",
                         "   Sampling frequency = [bl]96[/bl] kHz",
                         "   Channel arrangement = L + R",
                     }));
}

// Codes without a name leave the text empty; rate code 15 drops its line.
TEST_F(LPCMTest, UnnamedCodes) {
    lpcm(header(0, 3, 15, 25), false);
    lpcm(header(20, 0, 3, 20), false);
    EXPECT_EQ(log(), (Lines{
                         "   Sample size = [bl][/bl] bit",
                         "   Channel arrangement = ",
                         "   Sample size = [bl]16[/bl] bit",
                         "   Sampling frequency = [bl][/bl] kHz",
                         "   Channel arrangement = Lf + Rf + Ls + Rs + C + LFE",
                     }));
}

// Fewer than 7 bytes before the payload: the header was in the previous block.
TEST_F(LPCMTest, HeaderInPreviousBlock) {
    fill(0x21);
    for (size_t p = 0; p < 7; ++p) lpcm(p, p % 2 == 0);
    EXPECT_TRUE(log().empty());
    lpcm(7, false);
    EXPECT_EQ(log().size(), 3u);
}

TEST_F(LPCMTest, HeaderEndingTheBuffer) {
    lpcm(header(kBlockSize - 7, 1, 8, 0), false);
    EXPECT_EQ(log(), (Lines{
                         "   Sample size = [bl]20[/bl] bit",
                         "   Sampling frequency = [bl]44.1[/bl] kHz",
                         "   Channel arrangement = C (mono)",
                     }));
}

// DVD-Video keeps its fields in the byte after the frame number; DVD-Audio and HD DVD
// read the same header their own way.
TEST_F(LPCMTest, DvdVideoHeader) {
    const struct {
        uint8_t fields;
        Lines lines;
    } cases[] = {
        {0x91,
         {"   Sample size = [bl]24[/bl] bit", "   Sampling frequency = [bl]96[/bl] kHz",
          "   Channel arrangement = L + R"}},
        {0x50,
         {"   Sample size = [bl]20[/bl] bit", "   Sampling frequency = [bl]96[/bl] kHz",
          "   Channel arrangement = mono"}},
        {0x05,
         {"   Sample size = [bl]16[/bl] bit", "   Sampling frequency = [bl]48[/bl] kHz",
          "   Channel arrangement = 6 channels"}},
        {0xE7,
         {"   Sample size = reserved", "   Sampling frequency = reserved",
          "   Channel arrangement = 8 channels"}},
    };
    for (const auto& c : cases) {
        host.lines.clear();
        const size_t p = 100 + place(100, {0xA0, 0x07, 0x00, 0x04, 0x0C, c.fields, 0x80});
        lpcm(p, true);
        EXPECT_EQ(log(), c.lines) << int(c.fields);
    }
    host.lines.clear();
    lpcm(100 + place(100, {0xA0, 0x07, 0x00, 0x04, 0x0C, 0x91, 0x80}), false);
    EXPECT_EQ(log(),
              (Lines{"   Sample size = [bl]16[/bl] bit", "   Sampling frequency = [bl]48[/bl] kHz",
                     "   Channel arrangement = Lf + Rf + C + LFE + Ls + Rs"}))
        << "the DVD-Audio layout of the same bytes";
}

// The channel assignment codes: named up to 20, the names of 13-17 repeat those of 8-12,
// and the channels counted are those named.
TEST(ChannelArrangement, NamesAndCounts) {
    EXPECT_STREQ(channelArrangement(0), "C (mono)");
    EXPECT_STREQ(channelArrangement(1), "L + R");
    EXPECT_STREQ(channelArrangement(7), "Lf + Rf + C");
    EXPECT_STREQ(channelArrangement(20), "Lf + Rf + Ls + Rs + C + LFE");
    for (uint8_t i = 13; i <= 17; ++i)
        EXPECT_STREQ(channelArrangement(i), channelArrangement(i - 5)) << int(i);
    for (uint8_t i = 0; i < 21; ++i) {
        const std::string name = channelArrangement(i);
        EXPECT_EQ(channelsArranged(i), 1 + std::count(name.begin(), name.end(), '+')) << name;
    }
    for (uint8_t i = 21; i < 32; ++i) {
        EXPECT_STREQ(channelArrangement(i), "") << int(i);
        EXPECT_EQ(channelsArranged(i), std::nullopt) << int(i);
    }
}

class MLPTest : public AudioAnalyserTest {};

// What the encoder was told: 48 kHz, 5.1.
const Lines kTrueHD = {
    "   [b]TrueHD[/b] stream (up to 8 channels)",
    "   Sampling frequency = [bl]48[/bl] kHz",
    "   2 ch. decoder",
    "      channel modifier = 2",
    "   6 ch. decoder",
    "      channel modifier = 1",
    "      channel arrangement = [bl]Lf + Rf + Ls + Rs + C + LFE[/bl]",
    "   8 ch. decoder",
    "      channel modifier = 2",
    "      channel arrangement = [bl]Lf + Rf + Ls + Rs + C + LFE[/bl]",
};

// What the encoder was told: 44.1 kHz, stereo, 16 bits.
const Lines kMLP = {
    "   [b]Standard MLP[/b] stream (up to 6 channels) ",
    "   Quantization length = [bl]16[/bl] bits",
    "   Sampling frequency = [bl]44.1[/bl] kHz",
    "   Channel arrangement = [bl]L + R[/bl]",
};

TEST_F(MLPTest, EncoderTrueHD) {
    const size_t n = place(33, sample("truehd_48k_51.thd"));
    mlp(33, n);
    EXPECT_EQ(log(), kTrueHD);
}

TEST_F(MLPTest, EncoderMLP) {
    const size_t n = place(0, sample("mlp_44k1_stereo.mlp"));
    mlp(0, n);
    EXPECT_EQ(log(), kMLP);
}

TEST_F(MLPTest, EveryMajorSyncReported) {
    const Bytes thd = sample("truehd_48k_51.thd");
    const Bytes standard = sample("mlp_44k1_stereo.mlp");
    size_t n = place(0, thd);
    n += place(n, standard);
    n += place(n, thd);
    mlp(0, n);
    Lines expected = kTrueHD;
    expected.insert(expected.end(), kMLP.begin(), kMLP.end());
    expected.insert(expected.end(), kTrueHD.begin(), kTrueHD.end());
    EXPECT_EQ(log(), expected);
}

// 8-channel assignment 0x1F11 names code 17; the 6-channel one is built from
// the low nibble of the second byte and the top bit of the third.
TEST_F(MLPTest, ChannelAssignments) {
    const Bytes bytes = {0xF8, 0x72, 0x6F, 0xBA, 0x90, 0x6A, 0xBF, 0x11, 0x00};
    mlp(0, place(0, bytes));
    EXPECT_EQ(log(), (Lines{
                         "   [b]TrueHD[/b] stream (up to 8 channels)",
                         "   Sampling frequency = [bl]88.2[/bl] kHz",
                         "   2 ch. decoder",
                         "      channel modifier = 1",
                         "   6 ch. decoder",
                         "      channel modifier = 2",
                         "      channel arrangement = [bl]???21[/bl]",
                         "   8 ch. decoder",
                         "      channel modifier = 1",
                         "      channel arrangement = [bl]???17[/bl]",
                     }));
}

TEST_F(MLPTest, PayloadBoundaries) {
    const Bytes thd = sample("truehd_48k_51.thd");
    place(0, thd);
    // The sync word ends at byte 7; the last payload byte is never examined.
    mlp(4, 4);
    mlp(5, 100); // straddling the start
    mlp(0, 0);
    EXPECT_TRUE(log().empty());
    mlp(0, 11); // cut inside the header: bytes 8 and 9 examined
    EXPECT_EQ(log(), Lines(kTrueHD.begin(), kTrueHD.begin() + 2));
    host.lines.clear();
    mlp(0, 13);
    EXPECT_EQ(log(), kTrueHD);
}

} // namespace
} // namespace qf::test
