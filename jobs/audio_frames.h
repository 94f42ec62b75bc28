#pragma once
// The frames of a written audio stream file, and the timestamps mkvmerge gives them when a
// title's clock jumps: each segment's frames start where its first time stamp says, so
// that a track whose offset to the video differs per segment stays in sync at every jump.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/codecs.h"
#include "engine/timeline.h"

namespace qf {

struct AudioFrame {
    uint64_t at = 0;              // byte offset in the stream file
    timeline::Ticks duration = 0; // 90 kHz ticks
};

// Can the frames of this codec's stream files be told apart here?
bool framesKnown(Codec codec);

// The frames of `bytes`, a stream file of `codec` (AC-3, E-AC-3, DTS or MPEG audio). Bytes
// between frames that start no frame (damage, extension substreams) belong to the frame
// before them.
std::vector<AudioFrame> audioFrames(Codec codec, std::span<const uint8_t> bytes);

// A timestamp file (format v2: one time in ms per frame) for the frames of `bytes`, each
// run from an anchor on at the anchor's time stamp, in ms from `titleStart`.
std::string frameTimestamps(Codec codec, std::span<const uint8_t> bytes,
                            const std::vector<timeline::AudioAnchor>& anchors,
                            timeline::Ticks titleStart);

// The same for the stream file `entry` of folder `dirFd` (or AT_FDCWD); empty when it
// cannot be read.
std::string fileTimestamps(Codec codec, int dirFd, const std::string& entry,
                           const std::vector<timeline::AudioAnchor>& anchors,
                           timeline::Ticks titleStart);

// The same for a FLAC file made from LPCM: its frames, of the block size its STREAMINFO
// gives, are timed by the samples before them; an anchor's bytes (of the LPCM payload)
// count `chunkFrames` samples for every `chunkBytes`.
std::string flacTimestamps(int dirFd, const std::string& entry,
                           const std::vector<timeline::AudioAnchor>& anchors,
                           timeline::Ticks titleStart, size_t chunkBytes, size_t chunkFrames);

} // namespace qf
