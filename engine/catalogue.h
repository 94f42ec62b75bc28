#pragma once
// What a Read job found, kept by the front end until the next one: every stream with its
// slot and facts, the frame counts, where the fast check stopped, the streams a later
// demux met that the read had not, and what the disc says of the title. A read pass fills
// it; a demux pass reads it and adds the late streams.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/events.h"
#include "engine/facts.h"
#include "engine/pes.h"
#include "engine/slot_entry.h"
#include "engine/slotmap.h"
#include "engine/timeline.h"
#include "engine/title_facts.h"

namespace qf {

// What the Read job sets the earliest PTS to before its pass: all 32 bits set, as it
// always was (a stream starting at exactly this stamp reads as none).
inline constexpr Stamp kNoEarliestPts = 0xFFFFFFFF;

struct Catalogue {
    // The stream of each slot, or the playlist's mark on it. Refilled by every pass.
    std::array<SlotEntry, 16> VideoSlots{};
    std::array<SlotEntry, 16> AudioSlots{};
    std::array<SlotEntry, 32> SubSlots{};
    // The slot of every stream met since the last Read job (or playlist reading) began.
    SlotMap Slots;
    // What the last Read job learned of the stream in each slot (its frame rate gives the
    // durations of the frame counts).
    std::array<StreamFacts, 2> VideoFacts;
    std::array<StreamFacts, 16> AudioFacts;
    std::array<StreamFacts, 32> SubFacts;

    std::array<int32_t, 2> FrameCount{}; // zeroed by the jobs, counted on across all parts
    // MPEG-2: the fields the counted frames are displayed for, which give their duration
    // (film with 3:2 pulldown shows 4 frames for 10 fields); 0 for other video.
    std::array<int64_t, 2> FieldCount{};
    // The earliest first PTS of the audio and video streams the last Read job met (33 bits),
    // set by the Read job, used by demux passes; kNoEarliestPts while none was met.
    Stamp EarliestPTS = 0;

    // Bytes of the title the last Read job had read when the fast check stopped it; -1
    // when it read everything (or a playlist gave the streams).
    int64_t fastCheckStop = -1;
    // The streams came from a playlist, not from a Read job: a stream the playlist names
    // no caption for is met only by the demux pass.
    bool playlistGave = false;
    // A stream a demux pass met that the last Read job had not listed (it began after the
    // fast check stopped), in the order they were met.
    using LateStream = qf::LateStream;
    std::vector<LateStream> LateStreams;
    // The streams the last Read job listed, by selectable slot, with their captions.
    StreamList Listed;
    // What the disc says of the title being read (chapters, palette, languages).
    TitleFacts titleFacts;
    // Where each segment of the title (a run of one clock) plays, as the last pass over it
    // found them: one for a title on one clock.
    std::vector<timeline::SegmentPlaced> segments;
    // Where each audio stream's output of the last demux meets each segment, by slot.
    std::array<std::vector<timeline::AudioAnchor>, 16> audioAnchors;

    Catalogue() { clearSlots(); }

    // The slots of one family.
    std::span<SlotEntry> slotTable(Family family) {
        return family == Family::Video   ? std::span<SlotEntry>(VideoSlots)
               : family == Family::Audio ? std::span<SlotEntry>(AudioSlots)
                                         : std::span<SlotEntry>(SubSlots);
    }
    std::span<const SlotEntry> slotTable(Family family) const {
        return const_cast<Catalogue*>(this)->slotTable(family);
    }
    // What the last Read job learned of the stream in slot k of a family.
    StreamFacts& facts(Family family, size_t k) {
        return family == Family::Video   ? VideoFacts[k]
               : family == Family::Audio ? AudioFacts[k]
                                         : SubFacts[k];
    }
    const StreamFacts& facts(Family family, size_t k) const {
        return const_cast<Catalogue*>(this)->facts(family, k);
    }
    void clearSlots() {
        VideoSlots.fill({});
        AudioSlots.fill({});
        SubSlots.fill({});
    }
    void clearFacts() {
        for (auto& f : VideoFacts) f = {};
        for (auto& f : AudioFacts) f = {};
        for (auto& f : SubFacts) f = {};
    }
};

std::string VideoKindName(int32_t entry);
std::string AudioKindName(int32_t entry);
std::string SubKindName(int32_t entry);

} // namespace qf
