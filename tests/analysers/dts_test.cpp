#include "audio_fixture.h"

namespace qf::test {
namespace {

class DTSTest : public AudioAnalyserTest {};

// What the encoder was told: 48 kHz, 5.1, 768 kbit/s; 512 samples a frame.
const Lines kEncoderFrame = {
    "   PCM core samples = 32",
    "   PCM sample blocks = 16",
    "   Primary frame byte size = 1023",
    "   Channel arrangement = [bl]C + L + R + Ls + Rs[/bl]",
    "   Sampling frequency = [bl]48[/bl] kHz",
    "   Transmission bitrate = [bl]768[/bl] kbit/s",
    "   LFE channel = [bl]present[/bl] (IF:64)",
    "   Encoder software rev. = 7, Current",
    "   Source PCM resolution = [bl]16[/bl] bits",
};

struct BitWriter {
    Bytes out;
    int free = 0;
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (free == 0) {
                out.push_back(0);
                free = 8;
            }
            --free;
            out.back() = static_cast<uint8_t>(out.back() | ((v >> i) & 1u) << free);
        }
    }
};

struct CoreHeader {
    uint32_t cpf = 0, amode = 9, sfreq = 13, rate = 15, extId = 0, ext = 0, lff = 2, hcrc = 0,
             vernum = 7, pcmr = 6;
    Bytes bytes() const {
        BitWriter w;
        w.out = {0x7F, 0xFE, 0x80, 0x01};
        w.put(1, 1);     // FTYPE
        w.put(31, 5);    // SHORT
        w.put(cpf, 1);   // CPF
        w.put(15, 7);    // NBLKS
        w.put(1023, 14); // FSIZE
        w.put(amode, 6);
        w.put(sfreq, 4);
        w.put(rate, 5);
        w.put(0x15, 5); // MIX DYNF TIMEF AUXF HDCD
        w.put(extId, 3);
        w.put(ext, 1);
        w.put(1, 1); // ASPF
        w.put(lff, 2);
        w.put(1, 1); // HFLAG
        if (cpf) w.put(hcrc, 16);
        w.put(1, 1); // FILTS
        w.put(vernum, 4);
        w.put(3, 2); // CHIST
        w.put(pcmr, 3);
        w.put(0, 16);
        return w.out;
    }
};

// Every core sync word gives a full report; the scan resumes after the header.
TEST_F(DTSTest, EncoderFramesEachReported) {
    const size_t n = place(40, sample("dts_48k_768k_51.dts"));
    dts(40, n);
    Lines expected = kEncoderFrame;
    expected.insert(expected.end(), kEncoderFrame.begin(), kEncoderFrame.end());
    EXPECT_EQ(log(), expected);
}

TEST_F(DTSTest, TypicalFiveOneHeader) {
    const size_t n = place(0, CoreHeader{}.bytes());
    dts(0, n);
    Lines expected = kEncoderFrame;
    expected.back() = "   Source PCM resolution = [bl]24[/bl] bits";
    EXPECT_EQ(log(), expected);
}

// CRC present, extension with a reserved id, reserved and empty table codes,
// and an extension sync word after the core.
TEST_F(DTSTest, OptionalAndReservedFields) {
    CoreHeader h;
    h.cpf = 1;
    h.hcrc = 0xBEEF;
    h.ext = 1;
    h.extId = 6;
    h.amode = 40;
    h.sfreq = 4;
    h.rate = 22;
    h.lff = 1;
    h.vernum = 8;
    h.pcmr = 4;
    Bytes bytes = h.bytes();
    // Frame data first: the bytes the reader looked ahead at are not rescanned.
    bytes.insert(bytes.end(), {0x11, 0x22, 0x33, 0x44, 0x5A, 0x5A, 0x5A, 0x5A, 0x00});
    dts(0, place(0, bytes));
    EXPECT_EQ(log(), (Lines{
                         "   PCM core samples = 32",
                         "   PCM sample blocks = 16",
                         "   Primary frame byte size = 1023",
                         "   Channel arrangement = [bl]User defined[/bl]",
                         "   Sampling frequency = [bl][/bl] kHz",
                         "   Transmission bitrate = [bl]1411,2[/bl] kbit/s",
                         "   Extension audio = Reserved",
                         "   LFE channel = [bl]present[/bl] (IF:128)",
                         "   Header CRC = BEEF",
                         "   Encoder software rev. = 8, Future rev. (incompatible",
                         "   Source PCM resolution = ",
                         "   Channel extension found",
                     }));
}

TEST_F(DTSTest, ExtensionSyncWordsWithoutCore) {
    const Bytes bytes = {0x00, 0x1D, 0x95, 0xF2, 0x62, 0x5A, 0x5A, 0x5A, 0x5A, 0x00};
    dts(0, place(0, bytes));
    EXPECT_EQ(log(), (Lines{
                         "   Frequency extensiond found ([bl]96[/bl] kHz)",
                         "   Channel extension found",
                     }));
    // Ending on the last payload byte, neither is found.
    host.lines.clear();
    dts(0, bytes.size() - 1);
    dts(0, 5);
    EXPECT_EQ(log(), Lines{"   Frequency extensiond found ([bl]96[/bl] kHz)"});
}

// Sync words are looked for in the run, but a header found there is decoded from the
// bytes read behind it, up to the end of the block, whatever packet they belong to.
TEST_F(DTSTest, HeaderIsReadToTheEndOfTheBlock) {
    place(0, sample("dts_48k_768k_51.dts"));
    dts(0, 4); // sync word ends on the last byte
    dts(0, 0);
    EXPECT_TRUE(log().empty());
    dts(0, 4 + 5);
    EXPECT_EQ(log(), Lines(kEncoderFrame.begin(), kEncoderFrame.end()));

    host.lines.clear();
    ctx.io.BlockLen = 4 + 5; // 40 header bits read: the rate field is incomplete
    dts(0, 4 + 5);
    EXPECT_EQ(log(), Lines(kEncoderFrame.begin(), kEncoderFrame.begin() + 5));

    host.lines.clear();
    CoreHeader h;
    h.cpf = 1;
    const Bytes bytes = h.bytes();
    place(0, bytes);
    ctx.io.BlockLen = 4 + 8; // the CRC is cut
    dts(0, bytes.size());
    EXPECT_EQ(log(), Lines(kEncoderFrame.begin(), kEncoderFrame.begin() + 7));
}

// A sync word too close to the end of the buffer is read only up to the end.
TEST_F(DTSTest, HeaderAtBufferEnd) {
    const Bytes bytes = CoreHeader{}.bytes();
    const size_t p = kBlockSize - 9;
    place(p, Bytes(bytes.begin(), bytes.begin() + 9));
    dts(p, 100);
    EXPECT_EQ(log(), Lines(kEncoderFrame.begin(), kEncoderFrame.begin() + 5));
}

TEST_F(DTSTest, SyncStraddlingPayloadStart) {
    place(0, sample("dts_48k_768k_51.dts"));
    dts(1, 20);
    EXPECT_TRUE(log().empty());
}

} // namespace
} // namespace qf::test
