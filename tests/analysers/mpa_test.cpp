#include "audio_fixture.h"

namespace qf::test {
namespace {

class MPATest : public AudioAnalyserTest {
protected:
    Lines run(const Bytes& payload) {
        host.lines.clear();
        mpa(50, place(50, payload));
        return log();
    }
};

// What ffmpeg's encoders were told, as the first frame header reports it.
TEST_F(MPATest, EncodedFrames) {
    struct Case {
        const char* file;
        Lines lines;
    };
    const Case cases[] = {
        {"mp2_48k_192k_stereo.mp2",
         {"   MPEG-1 Layer II", "   Sampling frequency = [bl]48[/bl] kHz",
          "   Transmission bitrate = [bl]192[/bl] kbit/s", "   Channel mode = [bl]stereo[/bl]"}},
        {"mp2_24k_64k_mono.mp2",
         {"   MPEG-2 Layer II", "   Sampling frequency = [bl]24[/bl] kHz",
          "   Transmission bitrate = [bl]64[/bl] kbit/s", "   Channel mode = [bl]mono[/bl]"}},
        {"mp3_44k1_128k_joint.mp3",
         {"   MPEG-1 Layer III", "   Sampling frequency = [bl]44.1[/bl] kHz",
          "   Transmission bitrate = [bl]128[/bl] kbit/s",
          "   Channel mode = [bl]joint stereo[/bl]"}},
        {"mp3_11k025_16k_mono.mp3",
         {"   MPEG-2.5 Layer III", "   Sampling frequency = [bl]11.025[/bl] kHz",
          "   Transmission bitrate = [bl]16[/bl] kbit/s", "   Channel mode = [bl]mono[/bl]"}},
    };
    for (const Case& c : cases) EXPECT_EQ(run(sample(c.file)), c.lines) << c.file;
}

// Headers with reserved fields are passed over; the first valid one is reported, wherever
// it starts, and a free-format one has no rate to show.
TEST_F(MPATest, FirstValidHeaderCounts) {
    const Bytes reserved = {
        0xFF, 0xF9, 0xA4, 0x04,       // layer 0
        0xFF, 0xFD, 0xF4, 0x04,       // bit-rate index 15
        0xFF, 0xFD, 0xAC, 0x04,       // sampling index 3
        0xFF, 0xED, 0xA4, 0x04,       // version 01
        0x12, 0xFF, 0xFD, 0x04, 0x84, // free format, dual channel
    };
    EXPECT_EQ(run(reserved), (Lines{"   MPEG-1 Layer II", "   Sampling frequency = [bl]48[/bl] kHz",
                                    "   Transmission bitrate = free format",
                                    "   Channel mode = [bl]dual channel[/bl]"}));
    EXPECT_EQ(
        run({0xFF, 0xF7, 0x40, 0xC0}),
        (Lines{"   MPEG-2 Layer I", "   Sampling frequency = [bl]22.05[/bl] kHz",
               "   Transmission bitrate = [bl]64[/bl] kbit/s", "   Channel mode = [bl]mono[/bl]"}))
        << "MPEG-2 Layer I has bit rates of its own";
    EXPECT_EQ(run({0x00, 0xFF, 0xFD, 0xA4}), Lines{}) << "a header cut by the run's end";
    ctx.time.decimalSeparator = ',';
    EXPECT_EQ(run(sample("mp3_44k1_128k_joint.mp3"))[1],
              "   Sampling frequency = [bl]44,1[/bl] kHz");
}

} // namespace
} // namespace qf::test
