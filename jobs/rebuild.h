#pragma once
// The EVO rebuild writer: copies a program stream pack by pack, leaving out the packs of
// unticked streams, renumbering the kept streams of each kind from their first number
// upward and correcting the system headers' stream bounds.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/stream.h"

namespace qf {

class JobRunner;

inline constexpr size_t kRebuildPackSize = 2048;

// Renumbering state and output of one Rebuild job; it carries over from the first
// source file to the second so that a stream keeps its new id in both. A kept stream of a
// renumbered kind gets the id its kind's rule gives by the count of kept streams before it
// where that id is one the rule renumbers to and no other kept stream has; else the
// lowest such id that is free, else its own (both logged).
struct RebuildState {
    std::array<uint8_t, 256> RebuildIdMap{}; // new id by old id; 0xFF = not assigned yet
    // The ids kept streams have in the rebuilt file: those given so far, and those of the
    // streams that keep theirs (from the catalogue when the selection is taken, or met).
    std::array<bool, 256> IdTaken{};
    uint8_t KeptVideoCount = 0;
    uint8_t KeptAudioCount = 0;
    uint8_t KeptSubpictureCount = 0;
    uint8_t KeptExtSubpictureCount = 0;
    std::unique_ptr<Stream> RebuiltOut;
    std::string SourceName;    // name part of the source path, for the progress line
    int64_t SkippedBlocks = 0; // blocks left out because they do not start with a pack header
    // The streams the job's request keeps.
    std::array<bool, 2> KeepVideo{};
    std::array<bool, 16> KeepAudio{}, KeepSub{};
    bool SelectionTaken = false;

    RebuildState() { reset(); }
    void reset();
    // Takes the selection from the job's request (once a job), and the ids of the kept
    // streams of the catalogue that keep them.
    void takeSelection(const JobRunner& ctx);
};

// One pass over ctx.io.SourceStream from its position to its end (or a cancel), appending
// the kept packs to st.RebuiltOut. Throws Error("Stream read error: ...") when the source
// delivers nothing before its end, and lets write errors through.
void Rebuild(JobRunner& ctx, RebuildState& st);

// Each returns true when the packet must be left out, and gives the stream its new id
// the first time one of its packets is kept.
bool VideoPackDropped(JobRunner& ctx, RebuildState& st, uint8_t id);
// An MPEG audio stream (PES id C0-DF) is looked up in the catalogue by its own entry.
bool AudioPackDropped(JobRunner& ctx, RebuildState& st, uint8_t id, bool mpegAudio = false);
bool SubpicturePackDropped(JobRunner& ctx, RebuildState& st, uint8_t id);

inline bool InRange(int value, int low, int high) {
    return low <= value && value <= high;
}

} // namespace qf
