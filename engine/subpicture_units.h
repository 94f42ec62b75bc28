#pragma once
// An output that takes subpicture units rather than a byte stream: a demux pass tells it
// where each packet with a time of its own begins, beside the packet's bytes.
#include <cstdint>
#include <vector>

#include "engine/stream.h"

namespace qf {

// One subpicture unit as a unit writer wrote it (or left out).
struct SubpictureUnit {
    int64_t timeMs = 0;   // from the time 0 of the demuxed video
    bool forced = false;  // shown even with subtitles off ("forced start display")
    bool written = false; // false: left out (before the video's start, or not forced)
};

// The units of one stream as a unit writer handled them: the first kListed one by one,
// the rest only counted, so that a stream of millions of tiny units costs no more than
// one of kListed.
struct SubpictureUnitList {
    static constexpr size_t kListed = 100000;
    struct Tally {
        int64_t units = 0, forced = 0, written = 0;
    };
    std::vector<SubpictureUnit> listed; // the first kListed units, in their order
    Tally beyond;                       // every unit after those

    void add(const SubpictureUnit& u) {
        if (listed.size() < kListed) {
            listed.push_back(u);
            return;
        }
        ++beyond.units;
        beyond.forced += u.forced ? 1 : 0;
        beyond.written += u.written ? 1 : 0;
    }
    bool empty() const { return listed.empty(); }
    int64_t size() const { return static_cast<int64_t>(listed.size()) + beyond.units; }
    int64_t written() const {
        int64_t n = beyond.written;
        for (const SubpictureUnit& u : listed) n += u.written ? 1 : 0;
        return n;
    }
};

class SubpictureUnits : public Stream {
public:
    // The bytes that follow belong to a packet whose header carried `pts` (the 33-bit 90 kHz
    // time stamp). Every byte written before has been handed over by then.
    // `sharesPack`: the packet began within a pack's length of the last unit of the stream
    // that did not, which no disc does (each unit begins a pack of its own).
    virtual void unitStart(uint64_t pts, bool sharesPack) = 0;
};

} // namespace qf
