// The frames of stream files as ffmpeg encoded them, and the timestamps each segment's
// frames get for mkvmerge.
#include "jobs/audio_frames.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/ps_builder.h"

namespace qf::test {
namespace {

struct Case {
    const char* file;
    Codec codec;
    size_t frames;            // in the file, as ffprobe -count_frames says
    timeline::Ticks duration; // of each, 90 kHz
};

// Each sample repeated: every frame is found again at its place, none in between.
TEST(AudioFrames, FfmpegFramesAreFoundWithTheirDurations) {
    const Case cases[] = {
        {"ac3_48k_448k_51.ac3", Codec::Ac3, 1, 2880},           // 1536 samples at 48 kHz
        {"ac3_44k1_96k_mono.ac3", Codec::Ac3, 1, 3134},         // at 44.1 kHz
        {"eac3_51.eac3", Codec::Eac3, 1, 2880},                 // 6 blocks of 256
        {"mp2_48k_192k_stereo.mp2", Codec::MpegAudio, 2, 2160}, // 1152 samples
        {"mp3_44k1_128k_joint.mp3", Codec::MpegAudio, 2, 2351},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes one = readFile(std::string(QUILLFEN_TEST_DATA) + "/" + c.file);
        Bytes many;
        for (int k = 0; k < 10; ++k) many.insert(many.end(), one.begin(), one.end());
        const std::vector<AudioFrame> frames = audioFrames(c.codec, many);
        ASSERT_EQ(frames.size(), 10 * c.frames);
        for (size_t k = 0; k < frames.size(); k += c.frames)
            EXPECT_EQ(frames[k].at, k / c.frames * one.size());
        for (const AudioFrame& f : frames) EXPECT_EQ(f.duration, c.duration);
    }
}

std::vector<double> times(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "# timestamp format v2");
    std::vector<double> t;
    while (std::getline(in, line)) t.push_back(std::stod(line));
    return t;
}

// Ten AC-3 frames of 32 ms: the second segment's first frame at its own stamp, a gap kept,
// an overlap run on (the times must rise), and times from the title's start.
TEST(AudioFrames, EachSegmentsFramesStartAtItsStamp) {
    const Bytes one = readFile(std::string(QUILLFEN_TEST_DATA) + "/ac3_48k_448k_51.ac3");
    Bytes ten;
    for (int k = 0; k < 10; ++k) ten.insert(ten.end(), one.begin(), one.end());
    const uint64_t fifth = 5 * one.size();
    const timeline::Ticks start = 90000, ms = 90;
    struct Run {
        timeline::Ticks second; // the sixth frame's anchor, from the start
        double sixth;           // its time, ms
    } runs[] = {{500 * ms, 500}, {200 * ms, 200}, {100 * ms, 200}};
    for (const Run& r : runs) {
        const auto t = times(frameTimestamps(
            Codec::Ac3, ten, {{0, start + 40 * ms}, {fifth, start + r.second}}, start));
        ASSERT_EQ(t.size(), 10u);
        EXPECT_DOUBLE_EQ(t[0], 40);
        EXPECT_DOUBLE_EQ(t[4], 40 + 4 * 32);
        EXPECT_DOUBLE_EQ(t[5], r.sixth);
        EXPECT_DOUBLE_EQ(t[9], r.sixth + 4 * 32);
    }
}

} // namespace
} // namespace qf::test
