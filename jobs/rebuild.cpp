#include "jobs/rebuild.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/blockpass.h"
#include "engine/codecs.h"
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

// Whether the stream of family `family` and catalogue entry `entry` is left out.
bool dropped(const Context& ctx, const RebuildState& st, Family family, int32_t entry) {
    switch (family) {
    case Family::Video:
        return droppedByBox(ctx, ctx.VideoSlots, st.KeepVideo, family, entry);
    case Family::Audio:
        return droppedByBox(ctx, ctx.AudioSlots, st.KeepAudio, family, entry);
    case Family::Subpicture:
        break;
    }
    return droppedByBox(ctx, ctx.SubSlots, st.KeepSub, family, entry);
}

uint8_t& keptCount(RebuildState& st, KeptCount count) {
    switch (count) {
    case KeptCount::Video:
        return st.KeptVideoCount;
    case KeptCount::Audio:
        return st.KeptAudioCount;
    case KeptCount::Subpicture:
        return st.KeptSubpictureCount;
    case KeptCount::ExtSubpicture:
        break;
    }
    return st.KeptExtSubpictureCount;
}

std::string hexId(int id) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(id) & 0xFF);
    return text;
}

// The new id of kept stream `id` (of `codec`, renumbered by `rule`): the one the kept count
// gives while it stays within the ids the rule renumbers to and no other kept stream has
// it; else the lowest of those ids that is free; else its own. The two last are logged.
uint8_t newId(Context& ctx, const RebuildState& st, Codec codec, Codec rule, uint8_t id,
              uint8_t kept) {
    const CodecInfo& r = codecInfo(rule);
    const int first = r.first, last = r.rebuild.last;
    const int counted = renumberedId(rule, id, kept);
    const bool inRange = InRange(counted, first, last) &&
                         (r.rebuild.how != Renumber::FromFirst || first + kept <= last);
    if (inRange && !st.IdTaken[static_cast<size_t>(counted)]) return static_cast<uint8_t>(counted);
    const std::string json(codecInfo(codec).json.empty() ? codecInfo(Codec::MpegAudio).json
                                                         : codecInfo(codec).json);
    const std::string stream = "Stream id " + hexId(id) + " (" + json + ")";
    const std::string range = hexId(first) + " to " + hexId(last);
    for (int k = first; k <= last; ++k) {
        if (st.IdTaken[static_cast<size_t>(k)]) continue;
        const std::string why =
            inRange ? hexId(counted) + " belongs to another kept stream"
                    : hexId(counted) + " is outside " + range + ", the ids it may be renumbered to";
        ctx.log(stream + " gets id " + hexId(k) + " in the rebuilt file: " + why + ".");
        return static_cast<uint8_t>(k);
    }
    ctx.log(stream + " keeps its id in the rebuilt file: no id from " + range + " is free.");
    return id;
}

// Whether the packs of stream `id` (catalogue entry `entry`, of `codec`) are left out; a
// kept stream gets its new id by its kind's rule the first time.
bool packDropped(Context& ctx, RebuildState& st, Family family, uint8_t id, int32_t entry,
                 Codec codec) {
    const bool drop = dropped(ctx, st, family, entry);
    const Codec rule = kRenumberCodecs[id];
    if (!drop && rule != Codec::None && st.RebuildIdMap[id] == kUnassigned) {
        uint8_t& kept = keptCount(st, codecInfo(rule).rebuild.count);
        st.RebuildIdMap[id] = newId(ctx, st, codec, rule, id, kept);
        st.IdTaken[st.RebuildIdMap[id]] = true;
        ++kept;
    }
    return drop;
}

// Marks the ids of the kept streams of the catalogue that keep them in the rebuilt file,
// so that no renumbered stream is given one, even where it comes first.
template <size_t N, size_t M>
void markKeptIds(const Context& ctx, RebuildState& st, const std::array<int32_t, N>& slots,
                 const std::array<bool, M>& kept, Family family) {
    for (size_t k = 0; k < N; ++k) {
        const Codec c = codecOfEntry(family, slots[k]);
        if (c == Codec::None) continue;
        const bool keep = k < static_cast<size_t>(kSelectableSlots[static_cast<int>(family)])
                              ? k < M && kept[k]
                              : !ctx.Slots.refused(slots[k]);
        const auto id = static_cast<uint8_t>(slots[k] - codecInfo(c).entryOffset);
        const Codec rebuilt = rebuildCodecOf(codecInfo(c).carrier, id);
        if (keep && renumberOf(rebuilt, id) == Renumber::KeepId) st.IdTaken[id] = true;
    }
}

} // namespace

void RebuildState::takeSelection(const Context& ctx) {
    if (SelectionTaken) return;
    SelectionTaken = true;
    const Selection& chosen = ctx.job.selection;
    for (size_t k = 0; k < KeepVideo.size(); ++k) KeepVideo[k] = chosen.at(0, k).checked;
    for (size_t k = 0; k < KeepAudio.size(); ++k) KeepAudio[k] = chosen.at(1, k).checked;
    for (size_t k = 0; k < KeepSub.size(); ++k) KeepSub[k] = chosen.at(2, k).checked;
    markKeptIds(ctx, *this, ctx.VideoSlots, KeepVideo, Family::Video);
    markKeptIds(ctx, *this, ctx.AudioSlots, KeepAudio, Family::Audio);
    markKeptIds(ctx, *this, ctx.SubSlots, KeepSub, Family::Subpicture);
}

void RebuildState::reset() {
    SelectionTaken = false;
    RebuildIdMap.fill(kUnassigned);
    IdTaken.fill(false);
    KeptVideoCount = 0;
    KeptAudioCount = 0;
    KeptSubpictureCount = 0;
    KeptExtSubpictureCount = 0;
    SkippedBlocks = 0;
}

bool VideoPackDropped(Context& ctx, RebuildState& st, uint8_t id) {
    return packDropped(ctx, st, Family::Video, id, id, kRenumberCodecs[id]);
}

bool AudioPackDropped(Context& ctx, RebuildState& st, uint8_t id, bool mpegAudio) {
    return packDropped(
        ctx, st, Family::Audio, id, mpegAudio ? id + codecInfo(Codec::MpegAudio).entryOffset : id,
        mpegAudio ? rebuildCodecOf(Carrier::PesId, id) : rebuildCodecOf(Carrier::SubStream, id));
}

bool SubpicturePackDropped(Context& ctx, RebuildState& st, uint8_t id) {
    return packDropped(ctx, st, Family::Subpicture, id, id, kRenumberCodecs[id]);
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
    if (s == kPrivateStream1) {
        qAt = kPesHeaderData + at(kPesHeaderLength);
    } else if (s == kExtendedStream) {
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
    // The stream's own id: the sub-stream id or stream id extension, else the stream id.
    const bool second = s == kPrivateStream1 || s == kExtendedStream;
    const uint8_t id = second ? q : s;
    const Carrier carrier = s == kPrivateStream1   ? Carrier::SubStream
                            : s == kExtendedStream ? Carrier::Extension
                                                   : Carrier::PesId;
    const Codec codec = rebuildCodecOf(carrier, id);
    const CodecInfo& c = codecInfo(codec);
    bool keep = true;
    bool renumber = false; // only an id that was decided on is renumbered
    switch (renumberOf(codec, id)) {
    case Renumber::None:
        break;
    case Renumber::KeepId:
        keep = !dropped(ctx, st, c.family, id + c.entryOffset);
        if (keep) st.IdTaken[id] = true; // also one the read did not meet
        break;
    case Renumber::Masked:
    case Renumber::FromFirst:
        keep = !packDropped(ctx, st, c.family, id, id + c.entryOffset, codec);
        renumber = true;
        break;
    }

    patch = {};
    if (s == 0xBB) {
        const int video = countKept(st.KeepVideo);
        const int audio = countKept(st.KeepAudio);
        patch = {kAudioBound,
                 2,
                 {static_cast<uint8_t>((at(kAudioBound) & 0x03) + 4 * audio),
                  static_cast<uint8_t>((at(kVideoBound) & 0xE0) + video)}};
    } else if (renumber && st.RebuildIdMap[id] != kUnassigned) {
        patch = {second ? qAt : kStreamId, 1, {st.RebuildIdMap[id], 0}};
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
