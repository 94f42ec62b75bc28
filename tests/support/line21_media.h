#pragma once
// NTSC MPEG-2 video with line-21 captions written into its user data, made once per test
// program from one ffmpeg-encoded stream, and ffmpeg's own reading of the captions.
#include <cstdint>
#include <string>
#include <vector>

#include "analysers/captions.h"
#include "support/line21_writer.h"

namespace qf::test {

constexpr int64_t kNtscFrame = 3003; // 90 kHz ticks

// Pop-on, roll-up and paint-on captions with indents, italics, mid-row codes, special and
// extended characters and tab offsets, on one field and data channel.
Line21Script line21Showcase(int field, int dataChannel);

// The ffmpeg-made stream (one picture per GOP, no B pictures) with `frames` written in,
// as NAME.m2v in a folder made once; its path. Empty when ffmpeg is missing.
std::string line21Stream(const std::string& name, const std::vector<Line21Frame>& frames,
                         Line21Carriage how);
std::vector<uint8_t> fileBytes(const std::string& path);

// The stream's pairs as a caption reader finds them in runs of `runBytes`, each with the
// PTS (origin + picture number x frame) of the first picture that starts in it, or, with
// firstPtsOnly, a PTS for the first picture's run alone.
std::vector<CaptionPair> readPairs(const std::vector<uint8_t>& m2v, size_t runBytes,
                                   int64_t origin = 0, bool firstPtsOnly = false);

struct SrtCue {
    int64_t startMs = 0, endMs = 0;
    std::string text; // styling markup and carriage returns left out
};
std::vector<SrtCue> parseSrt(const std::string& srt);
// What ffmpeg's line-21 decoder makes of the stream's captions, as SRT.
std::string ffmpegSrt(const std::string& m2v);

} // namespace qf::test
