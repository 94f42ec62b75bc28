#pragma once
// A small demonstration disc: a two-part HD DVD title built from short streams (VC-1 and
// MPEG-2 video, AC-3, E-AC-3 and LPCM audio, a subpicture stream) and its playlist, so
// every job can be tried without a real disc. The audio, the MPEG-2 video and the
// subpictures are real media that decoders play (silence, flat grey, a box); the VC-1
// frames are placeholders with real headers that decoders reject.
#include <string>
#include <vector>

#include "samples/pswriter.h"

namespace qf {

// The streams of the sample title, with the ids they are carried under.
enum class SampleStream {
    VC1,        // extended stream 0xFD/0x55, video slot 0
    MPEG2,      // stream 0xE1, video slot 1
    AC3,        // private stream 1, sub-stream 0x80, audio slot 0
    EAC3,       // private stream 1, sub-stream 0xC1, audio slot 1
    LPCM,       // private stream 1, sub-stream 0xA2, audio slot 2 (16-bit 48 kHz stereo)
    Subpicture, // private stream 1, sub-stream 0x20, subpicture slot 0
};

inline constexpr int kSampleFramesPerPart = 48; // video frames per stream and part

// The elementary data one stream carries in part 1 or 2 of the title, in muxing order.
// For LPCM this is the sample data without the sub-stream header; for subpictures the
// subpicture units one after the other.
Bytes sampleStreamData(SampleStream stream, int part);

// The program stream of part 1 or 2 of the title (FEATURE_1.EVO, FEATURE_2.EVO).
Bytes sampleTitlePart(int part);

// The playlist VPLST000.XPL that lists the title's streams and chapters.
std::string samplePlaylist();

// Writes DIR/HVDVD_TS/FEATURE_1.EVO, DIR/HVDVD_TS/FEATURE_2.EVO and
// DIR/ADV_OBJ/VPLST000.XPL, creating the folders as needed, and returns the paths of
// the files written. An existing file is replaced only when `replace` is set (never
// through a link); without it nothing is written when one exists. Throws
// Error("Cannot create folder ...") or the file stream's errors.
std::vector<std::string> writeSampleDisc(const std::string& dir, bool replace = false);

// What the sample is, in one line for whoever wrote it.
inline constexpr const char* kSampleNote =
    "The sample's VC-1 frames are placeholders that decoders reject; its MPEG-2 video, "
    "audio and subpictures decode.";

} // namespace qf
