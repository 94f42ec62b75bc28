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
                  const std::array<CheckBox, M>& boxes, Family family, int32_t entry) {
    const int k =
        findSlot(slots, static_cast<size_t>(kSelectableSlots[static_cast<int>(family)]), entry);
    if (k >= 0) return !boxes[static_cast<size_t>(k)].checked;
    return ctx.Slots.refused(entry);
}

template <size_t N> int countChecked(const std::array<CheckBox, N>& boxes, size_t count) {
    int n = 0;
    for (size_t k = 0; k < count && k < N; ++k) n += boxes[k].checked ? 1 : 0;
    return n;
}

// Private-stream-1 sub-streams that keep their ids: they follow their check box when the
// catalogue knows them, and are kept otherwise (slots without a box, unknown streams).
bool OtherSubstreamDropped(const Context& ctx, uint8_t id) {
    const bool audio = InRange(id, 0x80, 0x87) || InRange(id, 0xA0, 0xA7) ||
                       InRange(id, 0xB0, 0xB7) || InRange(id, 0xC9, 0xCF);
    const bool sub = InRange(id, 0x30, 0x3F) || InRange(id, 0x60, 0x7F);
    if (audio) return droppedByBox(ctx, ctx.AudioSlots, ctx.ui.cbAudio, Family::Audio, id);
    if (sub) return droppedByBox(ctx, ctx.SubSlots, ctx.ui.cbSub, Family::Subpicture, id);
    return false;
}

} // namespace

void RebuildState::reset() {
    RebuildIdMap.fill(kUnassigned);
    KeptVideoCount = 0;
    KeptAudioCount = 0;
    KeptSubpictureCount = 0;
    SkippedBlocks = 0;
}

bool VideoPackDropped(Context& ctx, RebuildState& st, uint8_t id) {
    const bool drop = droppedByBox(ctx, ctx.VideoSlots, ctx.ui.cbVideo, Family::Video, id);
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
    const bool drop = droppedByBox(ctx, ctx.AudioSlots, ctx.ui.cbAudio, Family::Audio, entry);
    if (!drop && st.RebuildIdMap[id] == kUnassigned) {
        const uint8_t base = (id & 0xF0) == 0xC0 ? (id & 0xF0) : (id & 0xF8);
        st.RebuildIdMap[id] = static_cast<uint8_t>(base | st.KeptAudioCount);
        ++st.KeptAudioCount;
    }
    return drop;
}

bool SubpicturePackDropped(Context& ctx, RebuildState& st, uint8_t id) {
    const bool drop = droppedByBox(ctx, ctx.SubSlots, ctx.ui.cbSub, Family::Subpicture, id);
    if (!drop && st.RebuildIdMap[id] == kUnassigned) {
        st.RebuildIdMap[id] = static_cast<uint8_t>((id & 0xE0) | st.KeptSubpictureCount);
        ++st.KeptSubpictureCount;
    }
    return drop;
}

namespace {

// Handles one pack in place; returns whether it is written.
bool rebuildPack(Context& ctx, RebuildState& st, uint8_t* blk) {
    const uint8_t s = blk[kStreamId];
    if (s == 0xBB) {
        const int video = countChecked(ctx.ui.cbVideo, 2);
        const int audio = countChecked(ctx.ui.cbAudio, 16);
        blk[kVideoBound] = static_cast<uint8_t>((blk[kVideoBound] & 0xE0) + video);
        blk[kAudioBound] = static_cast<uint8_t>((blk[kAudioBound] & 0x03) + 4 * audio);
    }

    // Where the id of a private-stream-1 or extended-stream packet sits.
    size_t qAt = 0;
    if (s == 0xBD) {
        qAt = kPesHeaderData + blk[kPesHeaderLength];
    } else if (s == 0xFD) {
        const size_t pts = (blk[kPesFlags2] >> 7) & 1, dts = (blk[kPesFlags2] >> 6) & 1;
        const size_t f = kPesHeaderData + 5 * pts + 5 * dts;
        const size_t pstd = (blk[f] >> 4) & 1;
        qAt = f + 2 + 2 * pstd;
    }
    const uint8_t q = qAt ? blk[qAt] : 0;

    if (blk[0] != 0x00 || blk[1] != 0x00 || blk[2] != 0x01 || blk[3] != 0xBA) {
        ++st.SkippedBlocks;
        return false;
    }
    bool keep = true;
    bool renumberQ = false; // only an id that was decided on is renumbered
    if (s == 0xBD) {
        if (InRange(q, 0xC0, 0xC8) || InRange(q, 0x88, 0x8F)) {
            keep = !AudioPackDropped(ctx, st, q);
            renumberQ = true;
        } else if (InRange(q, 0x20, 0x2F)) {
            keep = !SubpicturePackDropped(ctx, st, q);
            renumberQ = true;
        } else {
            keep = !OtherSubstreamDropped(ctx, q);
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

    if (renumberQ && st.RebuildIdMap[q] != kUnassigned) blk[qAt] = st.RebuildIdMap[q];
    if ((InRange(s, 0xE0, 0xE3) || InRange(s, 0xC0, 0xDF)) && st.RebuildIdMap[s] != kUnassigned)
        blk[kStreamId] = st.RebuildIdMap[s];
    return keep;
}

} // namespace

void Rebuild(Context& ctx, RebuildState& st) {
    Stream& out = *st.RebuiltOut;
    uint8_t* buf = ctx.ReadBuffer.data();
    BlockPassSettings how;
    how.writes = true;
    how.progressPrefix = "Rebuilding " + st.SourceName + " ";
    // The source is taken pack by pack, but read in whole blocks and written in runs of
    // consecutive kept packs: the same bytes as one read and one write per pack, with a
    // hundredth of the system calls. A Cancel is seen between blocks, as in every pass.
    runBlocks(ctx, how, [&](size_t got) {
        // A short last pack must not show bytes of an earlier read.
        const size_t packs = (got + kRebuildPackSize - 1) / kRebuildPackSize;
        std::memset(buf + got, 0, packs * kRebuildPackSize - got);
        size_t runStart = 0, runEnd = 0; // kept bytes not yet written
        for (size_t at = 0; at < got; at += kRebuildPackSize) {
            if (!rebuildPack(ctx, st, buf + at)) continue;
            if (runEnd != at) {
                if (runEnd > runStart) out.write(buf + runStart, runEnd - runStart);
                runStart = at;
            }
            runEnd = std::min(at + kRebuildPackSize, got);
        }
        if (runEnd > runStart) out.write(buf + runStart, runEnd - runStart);
    });
}

} // namespace qf
