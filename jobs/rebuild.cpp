#include "jobs/rebuild.h"

#include <algorithm>
#include <cstring>

#include "engine/blockpass.h"
#include "engine/context.h"

namespace qf {

namespace {

constexpr uint8_t kUnassigned = 0xFF;

// Offsets inside a pack, assuming a 14-byte pack header without stuffing.
constexpr size_t kStreamId = 17;
constexpr size_t kPesFlags2 = 21;
constexpr size_t kPesHeaderLength = 22;
constexpr size_t kPesHeaderData = 23;
constexpr size_t kAudioBound = 23; // in a system header
constexpr size_t kVideoBound = 24;

// The slot among the first `count` entries holding id, or -1.
template <size_t N> int findSlot(const std::array<int32_t, N>& slots, size_t count, int id) {
    for (size_t k = 0; k < count && k < N; ++k)
        if (slots[k] == id) return static_cast<int>(k);
    return -1;
}

// Whether the packs of the stream with catalogue entry `entry` are left out: when the
// catalogue has it in a selectable slot, by that slot's box; a stream that was refused a
// slot always; any other (not met by the last read, or in a slot without a box) never.
template <size_t N, size_t M>
bool droppedByBox(const Context& ctx, const std::array<int32_t, N>& slots,
                  const std::array<bool, M>& kept, Family family, int32_t entry) {
    const int k =
        findSlot(slots, static_cast<size_t>(kSelectableSlots[static_cast<int>(family)]), entry);
    if (k >= 0) return !kept[static_cast<size_t>(k)];
    return ctx.Slots.refused(entry);
}

template <size_t N> int countKept(const std::array<bool, N>& kept) {
    int n = 0;
    for (bool k : kept) n += k ? 1 : 0;
    return n;
}

// Private-stream-1 sub-streams that keep their ids: they follow their check box when the
// catalogue knows them, and are kept otherwise (slots without a box, unknown streams).
bool OtherSubstreamDropped(const Context& ctx, const RebuildState& st, uint8_t id) {
    const bool audio = InRange(id, 0x80, 0x87) || InRange(id, 0xA0, 0xA7) ||
                       InRange(id, 0xB0, 0xB7) || InRange(id, 0xC9, 0xCF);
    if (audio) return droppedByBox(ctx, ctx.AudioSlots, st.KeepAudio, Family::Audio, id);
    return false;
}

} // namespace

void RebuildState::takeSelection(const Context& ctx) {
    if (SelectionTaken) return;
    SelectionTaken = true;
    const Selection& chosen = ctx.job.selection;
    for (size_t k = 0; k < KeepVideo.size(); ++k) KeepVideo[k] = chosen.at(0, k).checked;
    for (size_t k = 0; k < KeepAudio.size(); ++k) KeepAudio[k] = chosen.at(1, k).checked;
    for (size_t k = 0; k < KeepSub.size(); ++k) KeepSub[k] = chosen.at(2, k).checked;
}

void RebuildState::reset() {
    SelectionTaken = false;
    RebuildIdMap.fill(kUnassigned);
    KeptVideoCount = 0;
    KeptAudioCount = 0;
    KeptSubpictureCount = 0;
    KeptExtSubpictureCount = 0;
    SkippedBlocks = 0;
}

bool VideoPackDropped(Context& ctx, RebuildState& st, uint8_t id) {
    const bool drop = droppedByBox(ctx, ctx.VideoSlots, st.KeepVideo, Family::Video, id);
    if (!drop && st.RebuildIdMap[id] == kUnassigned) {
        st.RebuildIdMap[id] = (id == 0x55 || id == 0x56)
                                  ? static_cast<uint8_t>(0x55 + st.KeptVideoCount)
                                  : static_cast<uint8_t>((id & 0xFE) | st.KeptVideoCount);
        ++st.KeptVideoCount;
    }
    return drop;
}

bool AudioPackDropped(Context& ctx, RebuildState& st, uint8_t id, bool mpegAudio) {
    const int32_t entry = mpegAudio ? kMpegAudioEntry + id : id;
    const bool drop = droppedByBox(ctx, ctx.AudioSlots, st.KeepAudio, Family::Audio, entry);
    if (!drop && st.RebuildIdMap[id] == kUnassigned) {
        const uint8_t base = (id & 0xF0) == 0xC0 ? (id & 0xF0) : (id & 0xF8);
        st.RebuildIdMap[id] = static_cast<uint8_t>(base | st.KeptAudioCount);
        ++st.KeptAudioCount;
    }
    return drop;
}

bool SubpicturePackDropped(Context& ctx, RebuildState& st, uint8_t id) {
    const bool drop = droppedByBox(ctx, ctx.SubSlots, st.KeepSub, Family::Subpicture, id);
    if (!drop && st.RebuildIdMap[id] == kUnassigned) {
        // Plain (0x20-0x3F) and extended (0x60-0x7F) subpictures are numbered apart.
        uint8_t& kept = (id & 0xE0) == 0x60 ? st.KeptExtSubpictureCount : st.KeptSubpictureCount;
        st.RebuildIdMap[id] = static_cast<uint8_t>((id & 0xE0) | kept);
        ++kept;
    }
    return drop;
}

namespace {

// The bytes a kept pack carries changed: its system header's bounds, or its stream's id.
struct Patch {
    size_t at = 0, length = 0; // none when length is 0
    uint8_t bytes[2] = {0, 0};
};

// Decides on one pack of n bytes (a short last pack reads as zeros past its end); returns
// whether it is written, and with which bytes changed.
bool rebuildPack(Context& ctx, RebuildState& st, const uint8_t* blk, size_t n, Patch& patch) {
    auto at = [&](size_t k) -> uint8_t { return k < n ? blk[k] : 0; };
    const uint8_t s = at(kStreamId);

    // Where the id of a private-stream-1 or extended-stream packet sits.
    size_t qAt = 0;
    if (s == 0xBD) {
        qAt = kPesHeaderData + at(kPesHeaderLength);
    } else if (s == 0xFD) {
        const size_t pts = (at(kPesFlags2) >> 7) & 1, dts = (at(kPesFlags2) >> 6) & 1;
        const size_t f = kPesHeaderData + 5 * pts + 5 * dts;
        const size_t pstd = (at(f) >> 4) & 1;
        qAt = f + 2 + 2 * pstd;
    }
    const uint8_t q = qAt ? at(qAt) : 0;

    if (at(0) != 0x00 || at(1) != 0x00 || at(2) != 0x01 || at(3) != 0xBA) {
        ++st.SkippedBlocks;
        return false;
    }
    bool keep = true;
    bool renumberQ = false; // only an id that was decided on is renumbered
    if (s == 0xBD) {
        if (InRange(q, 0xC0, 0xC8) || InRange(q, 0x88, 0x8F)) {
            keep = !AudioPackDropped(ctx, st, q);
            renumberQ = true;
        } else if (InRange(q, 0x20, 0x3F) || InRange(q, 0x60, 0x7F)) {
            keep = !SubpicturePackDropped(ctx, st, q);
            renumberQ = true;
        } else {
            keep = !OtherSubstreamDropped(ctx, st, q);
        }
    } else if (s == 0xFD) {
        if (InRange(q, 0x55, 0x56)) {
            keep = !VideoPackDropped(ctx, st, q);
            renumberQ = true;
        }
    } else if (InRange(s, 0xE0, 0xE3)) {
        keep = !VideoPackDropped(ctx, st, s);
    } else if (InRange(s, 0xC0, 0xDF)) {
        keep = !AudioPackDropped(ctx, st, s, true);
    }

    patch = {};
    if (s == 0xBB) {
        const int video = countKept(st.KeepVideo);
        const int audio = countKept(st.KeepAudio);
        patch = {kAudioBound,
                 2,
                 {static_cast<uint8_t>((at(kAudioBound) & 0x03) + 4 * audio),
                  static_cast<uint8_t>((at(kVideoBound) & 0xE0) + video)}};
    } else if (renumberQ && st.RebuildIdMap[q] != kUnassigned) {
        patch = {qAt, 1, {st.RebuildIdMap[q], 0}};
    } else if ((InRange(s, 0xE0, 0xE3) || InRange(s, 0xC0, 0xDF)) &&
               st.RebuildIdMap[s] != kUnassigned) {
        patch = {kStreamId, 1, {st.RebuildIdMap[s], 0}};
    }
    // Only bytes the pack has are changed.
    if (patch.at >= n) patch.length = 0;
    patch.length = std::min(patch.length, n - std::min(patch.at, n));
    return keep;
}

// The writer's side of a pass: the kept packs of each block as runs that point into the
// block, with the few changed bytes from a table of their own, written with one call.
class Rebuilder final : public BlockHandler {
public:
    Rebuilder(Context& ctx, RebuildState& st) : ctx_(ctx), st_(st) {}

    void parseBlock(std::span<const uint8_t> block) override {
        for (size_t at = 0; at < block.size(); at += kRebuildPackSize) {
            const uint8_t* pack = block.data() + at;
            const size_t n = std::min(kRebuildPackSize, block.size() - at);
            Patch patch;
            if (!rebuildPack(ctx_, st_, pack, n, patch)) continue;
            if (patch.length == 0) {
                add(pack, n, true);
                continue;
            }
            auto& bytes = patchBytes_[patches_++];
            std::copy(patch.bytes, patch.bytes + patch.length, bytes.begin());
            add(pack, patch.at, true);
            add(bytes.data(), patch.length, false);
            add(pack + patch.at + patch.length, n - patch.at - patch.length, true);
        }
    }
    void writeChunk() override {
        if (runs_) st_.RebuiltOut->writeRuns(run_.data(), runs_);
        runs_ = patches_ = 0;
    }

private:
    static constexpr size_t kPacks = kChunkSize / kRebuildPackSize;

    // A run of n bytes at p, in the block or in the table of changed bytes; a run of the
    // block that continues the last one joins it.
    void add(const uint8_t* p, size_t n, bool inBlock) {
        if (n == 0) return;
        if (inBlock && lastInBlock_ && runs_ > 0 &&
            static_cast<const uint8_t*>(run_[runs_ - 1].iov_base) + run_[runs_ - 1].iov_len == p) {
            run_[runs_ - 1].iov_len += n;
            return;
        }
        run_[runs_++] = {const_cast<uint8_t*>(p), n};
        lastInBlock_ = inBlock;
    }

    Context& ctx_;
    RebuildState& st_;
    std::array<iovec, 3 * kPacks> run_{};
    std::array<std::array<uint8_t, 2>, kPacks> patchBytes_{};
    size_t runs_ = 0, patches_ = 0;
    bool lastInBlock_ = false;
};

} // namespace

void Rebuild(Context& ctx, RebuildState& st) {
    st.takeSelection(ctx);
    BlockPassSettings how;
    how.writes = true;
    how.progressPrefix = "Rebuilding " + st.SourceName + " ";
    // The source is taken pack by pack, but in whole blocks, and the kept packs are written
    // as runs with one call per block: the same bytes as one read and one write per pack.
    Rebuilder rebuilder(ctx, st);
    runBlocks(ctx, how, rebuilder);
}

} // namespace qf
