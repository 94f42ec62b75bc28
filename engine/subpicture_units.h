#pragma once
// An output that takes subpicture units rather than a byte stream: a demux pass tells it
// where each packet with a time of its own begins, beside the packet's bytes.
#include <cstdint>

#include "engine/stream.h"

namespace qf {

// One subpicture unit as a unit writer wrote it (or left out).
struct SubpictureUnit {
    int64_t timeMs = 0;   // from the time 0 of the demuxed video
    bool forced = false;  // shown even with subtitles off ("forced start display")
    bool written = false; // false: left out (before the video's start, or not forced)
};

class SubpictureUnits : public Stream {
public:
    // The bytes that follow belong to a packet whose header carried `pts` (low 32 bits of
    // the 90 kHz time stamp). Every byte written before has been handed over by then.
    virtual void unitStart(uint32_t pts) = 0;
};

} // namespace qf
