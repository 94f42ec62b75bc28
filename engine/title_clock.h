#pragma once
// Follows a title's clock through one pass over it. A title's cells or parts may come from
// several program streams, each with a clock of its own that starts again near zero; the
// pass tells every pack's clock reference and every time stamp of a stream it keeps, and
// this notes where the clock jumps (a part boundary, a pack clock that goes back or leaps,
// a video time stamp that does, a still cell's end) and where each segment so begun plays
// on the title. Time stamps of a later segment can then be given on the first segment's
// clock, which is what every output of a single-segment title is already on.
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/codecs.h"
#include "engine/pes.h"
#include "engine/timeline.h"
#include "engine/title_facts.h"

namespace qf {

class TitleClock {
public:
    static constexpr int kAudioSlots = 16;

    explicit TitleClock(std::vector<CellMark> cells = {});

    // The title's next part begins at `position`: its clock is its own.
    void partStarted(int64_t position);
    // A pack header at `position` with system clock reference `scr`.
    void pack(int64_t position, Stamp scr);
    // A packet of the stream in `slot` of `family` carries `pts`. Only video slot 0 (the
    // title's picture) and the audio slots are followed.
    void stamp(int64_t position, Family family, int slot, Stamp pts);
    // The length of one video frame, once known.
    void setFrameDuration(timeline::Ticks frame) { frame_ = frame; }
    // The pictures counted in video slot 0 so far (frames, and the fields they are shown
    // for, 0 where not counted by field): a segment lasts as long as its pictures are shown,
    // which its last time stamps do not tell where several pictures share a packet.
    void followCounts(const int32_t* frames, const int64_t* fields) {
        frames_ = frames;
        fields_ = fields;
        startCounts();
    }

    // `n` payload bytes of the audio stream in `slot` go to its output; `pts` is the
    // packet's time stamp, if it has one. The first stamped packet of each segment anchors
    // the bytes after it on the title's timeline.
    void audioWritten(int slot, const Stamp* pts, uint32_t n) {
        if (slot < 0 || slot >= kAudioSlots) return;
        auto& a = audio_[static_cast<size_t>(slot)];
        if (pts && a.segment != seen_.size()) {
            a.segment = seen_.size();
            a.anchors.push_back({a.bytes, static_cast<timeline::Ticks>(onFirstClock(*pts))});
        }
        a.bytes += n;
    }

    // `pts`, a time stamp of the segment being read, on the first segment's clock.
    Stamp onFirstClock(Stamp pts);
    // Every segment met so far, placed on the title.
    std::vector<timeline::SegmentPlaced> placed() const;
    size_t segments() const { return seen_.size(); }
    // Each cell's first video time stamp, on the first segment's clock, by cell number.
    const std::vector<std::pair<int, Stamp>>& cellPictures() const { return cellPictures_; }
    // Where each audio stream's output meets a new segment: its bytes written before, and the
    // time stamp (on the first clock) the segment's first stamped packet has.
    const std::vector<timeline::AudioAnchor>& audioAnchors(int slot) const {
        return audio_[static_cast<size_t>(slot)].anchors;
    }

private:
    struct Open {
        bool packSeen = false;
        Stamp lastScr = 0;
        bool videoSeen = false;
        int videoStamps = 0; // of the title's picture, in this segment
        bool anySeen = false;
        Stamp firstAny = 0;
        std::array<bool, kAudioSlots> audioSeen{};
    };
    void startSegment(int64_t position, bool partBoundary);
    void cellAt(int64_t position);
    std::vector<timeline::SegmentSeen> withDurations() const;
    struct Counted {
        int64_t frames = 0, fields = 0;
    };
    Counted countedNow() const { return frames_ ? Counted{*frames_, *fields_} : Counted{}; }
    void startCounts() {
        if (!counted_.empty()) counted_.back() = countedNow();
    }

    std::vector<CellMark> cells_;
    size_t nextCell_ = 0;
    int cell_ = 0;              // the cell being read (its number), 0 for a file
    timeline::Ticks still_ = 0; // of the cell being read
    timeline::Ticks frame_ = 0;
    timeline::Ticks minVideoStep_ = 0; // the frame length, until told it
    Stamp lastVideo_ = 0;
    std::vector<timeline::SegmentSeen> seen_;
    // What was counted when each segment began.
    std::vector<Counted> counted_;
    const int32_t* frames_ = nullptr;
    const int64_t* fields_ = nullptr;
    Open open_;
    std::vector<std::pair<int, Stamp>> cellPictures_;
    struct AudioOut {
        uint64_t bytes = 0;
        size_t segment = 0; // segments counted when its last anchor was set
        std::vector<timeline::AudioAnchor> anchors;
    };
    std::array<AudioOut, kAudioSlots> audio_{};
    // The current segment's offset to the first clock, valid while `cachedFor_` equals
    // `version_` (every change to what places the current segment counts one up).
    uint64_t version_ = 1, cachedFor_ = 0;
    timeline::Ticks offset_ = 0;
};

// A disc title's chapters begin where the first pictures of their cells are shown, on the
// title's timeline from its first picture at `titleStart` (first clock): the disc's own
// playback times round to whole frames and leave out still times.
void chaptersAtPictures(TitleFacts& facts, const std::vector<std::pair<int, Stamp>>& pictures,
                        Stamp titleStart);

} // namespace qf
