#include "jobs/rebuild.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "engine/blockpass.h"
#include "engine/codecs.h"
#include "engine/packet.h"
#include "jobs/runner.h"

namespace qf {

namespace {

constexpr uint8_t kUnassigned = 0xFF;

// The slot among the first `count` that a pass gave the stream of catalogue entry
// `entry`, or -1.
template <size_t N>
int findSlot(const std::array<SlotEntry, N>& slots, size_t count, int32_t entry) {
    for (size_t k = 0; k < count && k < N; ++k)
        if (slots[k].met() && slots[k].entry() == entry) return static_cast<int>(k);
    return -1;
}

// Whether the packs of the stream with catalogue entry `entry` are left out: when the
// catalogue has it in a selectable slot, by that slot's box; a stream that was refused a
// slot always; any other (not met by the last read, or in a slot without a box) never.
template <size_t N, size_t M>
bool droppedByBox(const JobRunner& ctx, const std::array<SlotEntry, N>& slots,
                  const std::array<bool, M>& kept, Family family, int32_t entry) {
    const int k =
        findSlot(slots, static_cast<size_t>(kSelectableSlots[static_cast<int>(family)]), entry);
    if (k >= 0) return !kept[static_cast<size_t>(k)];
    return ctx.cat.Slots.refused(entry);
}

template <size_t N> int countKept(const std::array<bool, N>& kept) {
    int n = 0;
    for (bool k : kept) n += k ? 1 : 0;
    return n;
}

// Whether the stream of family `family` and catalogue entry `entry` is left out.
bool dropped(const JobRunner& ctx, const RebuildState& st, Family family, int32_t entry) {
    switch (family) {
    case Family::Video:
        return droppedByBox(ctx, ctx.cat.VideoSlots, st.KeepVideo, family, entry);
    case Family::Audio:
        return droppedByBox(ctx, ctx.cat.AudioSlots, st.KeepAudio, family, entry);
    case Family::Subpicture:
        break;
    }
    return droppedByBox(ctx, ctx.cat.SubSlots, st.KeepSub, family, entry);
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
uint8_t newId(JobRunner& ctx, const RebuildState& st, Codec codec, Codec rule, uint8_t id,
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
bool packDropped(JobRunner& ctx, RebuildState& st, Family family, uint8_t id, int32_t entry,
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
void markKeptIds(const JobRunner& ctx, RebuildState& st, const std::array<SlotEntry, N>& slots,
                 const std::array<bool, M>& kept, Family family) {
    for (size_t k = 0; k < N; ++k) {
        const Codec c = codecOfEntry(family, slots[k].entry());
        if (c == Codec::None) continue;
        const bool keep = k < static_cast<size_t>(kSelectableSlots[static_cast<int>(family)])
                              ? k < M && kept[k]
                              : !ctx.cat.Slots.refused(slots[k].entry());
        const StreamKey key = *slots[k].key();
        const uint8_t id = key.id;
        const Codec rebuilt = rebuildCodecOf(key.carrier, id);
        if (keep && renumberOf(rebuilt, id) == Renumber::KeepId) st.IdTaken[id] = true;
    }
}

} // namespace

void RebuildState::takeSelection(const JobRunner& ctx) {
    if (SelectionTaken) return;
    SelectionTaken = true;
    const Selection& chosen = ctx.job.selection;
    for (size_t k = 0; k < KeepVideo.size(); ++k)
        KeepVideo[k] = chosen.at(Family::Video, k).checked;
    for (size_t k = 0; k < KeepAudio.size(); ++k)
        KeepAudio[k] = chosen.at(Family::Audio, k).checked;
    for (size_t k = 0; k < KeepSub.size(); ++k)
        KeepSub[k] = chosen.at(Family::Subpicture, k).checked;
    markKeptIds(ctx, *this, ctx.cat.VideoSlots, KeepVideo, Family::Video);
    markKeptIds(ctx, *this, ctx.cat.AudioSlots, KeepAudio, Family::Audio);
    markKeptIds(ctx, *this, ctx.cat.SubSlots, KeepSub, Family::Subpicture);
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

bool VideoPackDropped(JobRunner& ctx, RebuildState& st, uint8_t id) {
    return packDropped(ctx, st, Family::Video, id, id, kRenumberCodecs[id]);
}

bool AudioPackDropped(JobRunner& ctx, RebuildState& st, uint8_t id, bool mpegAudio) {
    return packDropped(
        ctx, st, Family::Audio, id, entryOf({mpegAudio ? Carrier::PesId : Carrier::SubStream, id}),
        mpegAudio ? rebuildCodecOf(Carrier::PesId, id) : rebuildCodecOf(Carrier::SubStream, id));
}

bool SubpicturePackDropped(JobRunner& ctx, RebuildState& st, uint8_t id) {
    return packDropped(ctx, st, Family::Subpicture, id, id, kRenumberCodecs[id]);
}

namespace {

// A byte or two of a kept pack that is written changed.
struct Edit {
    uint32_t at = 0;
    uint32_t length = 0;
    uint8_t bytes[2] = {0, 0};
};

// The changes to one pack, in the order of their offsets.
struct PackEdits {
    size_t count = 0;
    std::array<Edit, kMaxPackPackets + 1> edit{};

    void add(uint32_t at, uint32_t length, uint8_t b0, uint8_t b1 = 0) {
        size_t k = count++;
        for (; k > 0 && edit[k - 1].at > at; --k) edit[k] = edit[k - 1];
        edit[k] = {at, length, {b0, b1}};
    }
};

enum class Verdict : uint8_t { Undecided, Kept, Dropped };

// Decides on the stream of one packet, and where its id is renumbered, where the new id goes.
Verdict decide(JobRunner& ctx, RebuildState& st, const PesPacket& pkt, PackEdits& edits) {
    const uint8_t s = pkt.streamId;
    // The stream's own id: the sub-stream id or stream id extension, else the stream id.
    const bool second = s == kPrivateStream1 || s == kExtendedStream;
    if (second && !pkt.hasSubId) return Verdict::Undecided;
    const uint8_t id = second ? pkt.subId : s;
    const Carrier carrier = s == kPrivateStream1   ? Carrier::SubStream
                            : s == kExtendedStream ? Carrier::Extension
                                                   : Carrier::PesId;
    const Codec codec = rebuildCodecOf(carrier, id);
    const CodecInfo& c = codecInfo(codec);
    bool keep = true;
    switch (renumberOf(codec, id)) {
    case Renumber::None:
        return Verdict::Undecided;
    case Renumber::KeepId:
        keep = !dropped(ctx, st, c.family, entryOf({carrier, id}));
        if (keep) st.IdTaken[id] = true; // also one the read did not meet
        break;
    case Renumber::Masked:
    case Renumber::FromFirst:
        keep = !packDropped(ctx, st, c.family, id, entryOf({carrier, id}), codec);
        // Only an id that was decided on is renumbered.
        if (keep && st.RebuildIdMap[id] != kUnassigned)
            edits.add(second ? pkt.subIdAt : pkt.offset + 3, 1, st.RebuildIdMap[id]);
        break;
    }
    return keep ? Verdict::Kept : Verdict::Dropped;
}

// Decides on one pack: whether it is written, and with which bytes changed. Each packet's
// stream is decided on; a pack of dropped packets (and padding) alone is left out, and in
// a pack that also carries more, a dropped packet becomes padding of its own length.
bool rebuildPack(JobRunner& ctx, RebuildState& st, std::span<const uint8_t> pack, PackPackets& pp,
                 PackEdits& edits) {
    edits.count = 0;
    readPack(pack, pp);
    if (pp.status == PackStatus::NotAPack) {
        ++st.SkippedBlocks;
        return false;
    }
    std::array<Verdict, kMaxPackPackets> verdict; // set for each packet found
    bool anyDropped = false, onlyDropped = !pp.hasSystemHeader;
    for (size_t k = 0; k < pp.count; ++k) {
        const PesPacket& pkt = pp.packets[k];
        verdict[k] = decide(ctx, st, pkt, edits);
        anyDropped |= verdict[k] == Verdict::Dropped;
        if (verdict[k] != Verdict::Dropped && pkt.streamId != kPaddingStream) onlyDropped = false;
    }
    if (anyDropped && onlyDropped) return false;
    // A dropped stream is never given a new id, so its packets carry no edit yet.
    for (size_t k = 0; k < pp.count; ++k)
        if (verdict[k] == Verdict::Dropped) edits.add(pp.packets[k].offset + 3, 1, kPaddingStream);
    if (pp.hasSystemHeader) {
        const SystemHeader& sh = pp.system;
        const auto audio =
            static_cast<uint8_t>((pack[sh.audioBoundAt] & 0x03) + 4 * countKept(st.KeepAudio));
        const auto video =
            static_cast<uint8_t>((pack[sh.videoBoundAt] & 0xE0) + countKept(st.KeepVideo));
        edits.add(sh.audioBoundAt, 2, audio, video);
    }
    return true;
}

// The writer's side of a pass: the kept packs of each block as runs that point into the
// block, with the few changed bytes from a table of their own, written with one call.
class Rebuilder final : public BlockHandler {
public:
    // The tables hold a chunk whose every pack has the most edits a pack can have.
    Rebuilder(JobRunner& ctx, RebuildState& st)
        : ctx_(ctx), st_(st), run_(new iovec[2 * kEdits + kPacks]),
          editBytes_(new std::array<uint8_t, 2>[kEdits]) {}

    void parseBlock(std::span<const uint8_t> block) override {
        for (size_t at = 0; at < block.size(); at += kRebuildPackSize) {
            const uint8_t* pack = block.data() + at;
            const size_t n = std::min(kRebuildPackSize, block.size() - at);
            if (!rebuildPack(ctx_, st_, {pack, n}, packets_, edits_)) continue;
            size_t done = 0;
            for (size_t k = 0; k < edits_.count; ++k) {
                const Edit& e = edits_.edit[k];
                auto& bytes = editBytes_[edited_++];
                std::copy(e.bytes, e.bytes + e.length, bytes.begin());
                add(pack + done, e.at - done, true);
                add(bytes.data(), e.length, false);
                done = e.at + e.length;
            }
            add(pack + done, n - done, true);
        }
    }
    void writeChunk() override {
        if (runs_) st_.RebuiltOut->writeRuns(run_.get(), runs_);
        runs_ = edited_ = 0;
    }

private:
    static constexpr size_t kPacks = kChunkSize / kRebuildPackSize;
    static constexpr size_t kEdits = kPacks * (kMaxPackPackets + 1);

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

    JobRunner& ctx_;
    RebuildState& st_;
    PackPackets packets_; // of the pack at hand, and its changes
    PackEdits edits_;
    // Filled before they are read: left uninitialised.
    std::unique_ptr<iovec[]> run_;
    std::unique_ptr<std::array<uint8_t, 2>[]> editBytes_;
    size_t runs_ = 0, edited_ = 0;
    bool lastInBlock_ = false;
};

} // namespace

void Rebuild(JobRunner& ctx, RebuildState& st) {
    st.takeSelection(ctx);
    BlockPassSettings how;
    how.writes = true;
    how.partVerb = "Rebuilding";
    how.partInProgress = true;
    how.progressPrefix = st.SourceName;
    // The source is taken pack by pack, but in whole blocks, and the kept packs are written
    // as runs with one call per block: the same bytes as one read and one write per pack.
    Rebuilder rebuilder(ctx, st);
    runBlocks(ctx, how, rebuilder);
}

} // namespace qf
