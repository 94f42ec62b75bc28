// Fuzzes the rebuild writer. Input layout:
//   byte 0      flags: bits 0-1 the catalogue (0 empty, 1 playlist markers, 2 typical
//               stream ids, 3 ids from the input), bit 2 start the packs just before the
//               262,144-byte block boundary, bit 3 also run it as two source files split
//               at a pack boundary, bit 4 the source claims more bytes than it holds
//   bytes 1-5   the 34 check boxes (cbVideo0-1, cbAudio00-15, cbSub00-15), one bit each
//   byte 6      where the two-file run splits, in packs
//   34 bytes    with catalogue 3 only: VideoSlots 0-1, AudioSlots 0-15, SubSlots 0-15
//               (0xFF is an empty slot, 0x01 one a playlist listed, any other byte the
//               sub-stream or stream id of the stream in it)
// The rest is cut into 320-byte pieces, each the head of a 2048-byte pack whose other bytes
// are filler (0xA5, which starts no packet); a last shorter piece is a short last pack.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/packet.h"
#include "fuzz_common.h"
#include "jobs/rebuild.h"
#include "jobs/runner.h"
#include "samples/pswriter.h"

using namespace qf;

namespace {

constexpr size_t kHead = 320;

class CollectingSink : public Stream {
public:
    std::vector<uint8_t> data;
    size_t read(void*, size_t) override { return 0; }
    void write(const void* buf, size_t n) override {
        const auto* b = static_cast<const uint8_t*>(buf);
        data.insert(data.end(), b, b + n);
    }
    int64_t size() const override { return static_cast<int64_t>(data.size()); }
    int64_t position() const override { return size(); }
    void seek(int64_t) override {}
};

class ClaimingSource : public fuzz::MemorySource {
public:
    ClaimingSource(std::vector<uint8_t> d, int64_t extra)
        : MemorySource(std::move(d)), extra_(extra) {}
    int64_t size() const override { return MemorySource::size() + extra_; }

private:
    int64_t extra_;
};

struct Setup {
    uint8_t flags = 0;
    uint8_t boxes[5] = {};
    size_t splitPacks = 0;
    std::array<SlotEntry, 34> slots{};
};

SlotEntry slotFromByte(uint8_t b) {
    if (b == 0xFF) return {};
    if (b == 0x01) return SlotEntry::listedByPlaylist();
    const Codec c = codecOfEntry(b);
    return SlotEntry({c == Codec::None ? Carrier::SubStream : codecInfo(c).carrier, b});
}

void prepare(Session& ctx, const Setup& s) {
    auto bit = [&](int i) { return (s.boxes[i / 8] >> (i % 8)) & 1; };
    for (int k = 0; k < 2; ++k) ctx.ui.cbVideo[k].checked = bit(k);
    for (int k = 0; k < 16; ++k) ctx.ui.cbAudio[k].checked = bit(2 + k);
    for (int k = 0; k < 16; ++k) ctx.ui.cbSub[k].checked = bit(18 + k);
    switch (s.flags & 3) {
    case 0:
        break;
    case 1: // after a playlist read
        for (int k = 0; k < 2; ++k) ctx.cat.VideoSlots[k] = SlotEntry::listedByPlaylist();
        for (int k = 0; k < 16; ++k) ctx.cat.AudioSlots[k] = SlotEntry::listedByPlaylist();
        for (int k = 0; k < 16; ++k) ctx.cat.SubSlots[k] = SlotEntry::listedByPlaylist();
        break;
    case 2: // as a read pass leaves it
        ctx.cat.VideoSlots[0] = SlotEntry({Carrier::Extension, 0x55});
        ctx.cat.VideoSlots[1] = SlotEntry({Carrier::PesId, 0xE1});
        for (int k = 0; k < 16; ++k)
            ctx.cat.AudioSlots[k] = SlotEntry(
                {Carrier::SubStream, static_cast<uint8_t>(k < 9 ? 0xC0 + k : 0x88 + (k - 9))});
        for (int k = 0; k < 16; ++k)
            ctx.cat.SubSlots[k] = SlotEntry({Carrier::SubStream, static_cast<uint8_t>(0x20 + k)});
        break;
    default:
        for (int k = 0; k < 2; ++k) ctx.cat.VideoSlots[k] = s.slots[k];
        for (int k = 0; k < 16; ++k) ctx.cat.AudioSlots[k] = s.slots[2 + k];
        for (int k = 0; k < 16; ++k) ctx.cat.SubSlots[k] = s.slots[18 + k];
        break;
    }
}

// Runs the writer over the given source files in turn with one renumbering state.
// Returns false when the source failed to deliver.
bool rebuild(const Setup& s, const std::vector<std::vector<uint8_t>>& parts, int64_t extra,
             std::vector<uint8_t>& out) {
    fuzz::QuietHost host;
    Session ctx(host);
    prepare(ctx, s);
    RebuildState st;
    auto sink = std::make_unique<CollectingSink>();
    CollectingSink* result = sink.get();
    st.RebuiltOut = std::move(sink);
    bool ok = true;
    for (const auto& p : parts) {
        ctx.io.SourceStream = std::make_unique<ClaimingSource>(p, extra);
        try {
            ctx.job = jobRequest(ctx.ui);
            Rebuild(ctx, st);
        } catch (const Error&) {
            ok = false;
            break;
        }
        if (ctx.ui.bCancel || !ctx.control.writing()) std::abort();
    }
    out = std::move(result->data);
    return ok;
}

bool isPack(const uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xBA;
}

// The bytes the writer may change in a pack: the id bytes of its packets and its system
// header's bounds, where the pack reader finds them. Also checks that the reader reports
// nothing past the pack's end.
std::vector<size_t> changeable(const uint8_t* p, size_t n) {
    const PackPackets pp = readPack({p, n});
    if (pp.end > n || pp.count > kMaxPackPackets) std::abort();
    std::vector<size_t> may;
    if (pp.hasSystemHeader) {
        if (pp.system.videoBoundAt >= n || pp.system.audioBoundAt + 1 != pp.system.videoBoundAt)
            std::abort();
        may.push_back(pp.system.audioBoundAt);
        may.push_back(pp.system.videoBoundAt);
    }
    for (const PesPacket& pkt : pp.pes()) {
        if (pkt.offset + 6 > n || pkt.payloadOffset + pkt.payloadLength > n) std::abort();
        if (pkt.hasSubId && pkt.subIdAt >= n) std::abort();
        may.push_back(pkt.offset + 3);
        if (pkt.hasSubId) may.push_back(pkt.subIdAt);
    }
    return may;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) return 0;
    Setup s;
    s.flags = data[0];
    std::copy(data + 1, data + 6, s.boxes);
    s.splitPacks = data[6];
    data += 7;
    size -= 7;
    if ((s.flags & 3) == 3) {
        if (size < s.slots.size()) return 0;
        for (size_t k = 0; k < s.slots.size(); ++k) s.slots[k] = slotFromByte(data[k]);
        data += s.slots.size();
        size -= s.slots.size();
    }

    std::vector<uint8_t> src;
    if (s.flags & 4) {
        Bytes filler = packHeader();
        const Bytes pad = paddingPacket(kRebuildPackSize - filler.size());
        filler.insert(filler.end(), pad.begin(), pad.end());
        const size_t packs = kBlockSize / kRebuildPackSize - 1 - s.splitPacks % 3;
        for (size_t k = 0; k < packs; ++k) src.insert(src.end(), filler.begin(), filler.end());
    }
    for (size_t at = 0; at < size; at += kHead) {
        const size_t n = std::min(kHead, size - at);
        src.insert(src.end(), data + at, data + at + n);
        if (n == kHead) src.resize(src.size() + kRebuildPackSize - kHead, 0xA5);
    }

    const int64_t extra = (s.flags & 0x10) ? 1 + s.splitPacks : 0;
    std::vector<uint8_t> out;
    const bool ok = rebuild(s, {src}, extra, out);
    if (ok != (extra == 0)) std::abort(); // the missing bytes must be noticed

    // Whole packs, each starting with a pack start code; only the source's last may be short.
    if (out.size() > src.size()) std::abort();
    for (size_t at = 0; at < out.size(); at += kRebuildPackSize)
        if (out.size() - at < 4 || !isPack(out.data() + at)) std::abort();

    if (ok && (s.flags & 3) == 0) {
        // No stream is known, so none is dropped: every pack comes through, changed at most
        // in its ids and bounds.
        size_t o = 0;
        for (size_t at = 0; at < src.size(); at += kRebuildPackSize) {
            const size_t n = std::min(kRebuildPackSize, src.size() - at);
            const uint8_t* p = src.data() + at;
            if (n < 4 || !isPack(p)) continue;
            if (o + n > out.size()) std::abort();
            const std::vector<size_t> may = changeable(p, n);
            for (size_t i = 0; i < n; ++i)
                if (p[i] != out[o + i] && std::find(may.begin(), may.end(), i) == may.end())
                    std::abort();
            o += n;
        }
        if (o != out.size()) std::abort();
    }

    if (ok && extra == 0 && (s.flags & 8)) {
        // Two source files split at a pack boundary give the file one source gives.
        const size_t cut = std::min(src.size(), s.splitPacks * kRebuildPackSize);
        std::vector<uint8_t> split;
        rebuild(s,
                {{src.begin(), src.begin() + static_cast<std::ptrdiff_t>(cut)},
                 {src.begin() + static_cast<std::ptrdiff_t>(cut), src.end()}},
                0, split);
        if (split != out) std::abort();
    }
    return 0;
}
