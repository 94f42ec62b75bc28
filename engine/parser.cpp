// The resumable byte parser of a pass: packet start codes, PES headers and sub-stream
// headers, each byte handled by the field it belongs to, payload handed on as runs.
#include <algorithm>

#include "engine/packet.h"
#include "engine/pass.h"

namespace qf::pass {

namespace {

// Stream ids whose start code begins a packet the parser acts on.
bool isPacketStart(uint8_t id) {
    return kPesActions[id] != PesAction::None;
}

constexpr uint32_t kPackStartCode = 0x000001BA;

} // namespace

// Each byte goes to the first of these that wants it: a payload run, a packet passed over
// whole, a start code (which begins a packet whatever counter runs, so damage costs only
// the packets it touches), then the header fields in the order a packet has them.
void Pass::parse(size_t len) {
    if (packWant_ > 0) packResume(len);
    size_t i = 0;
    while (i < len) {
        const uint8_t b = buf_[i];
        ScanWord = (ScanWord << 8) | b;
        if (InPayload) {
            i += payloadRun(i, len);
            continue;
        }
        Next = ++i;
        if (SkipLeft > 0)
            i += skippedBytes(i, len);
        else if ((ScanWord >> 8) == 0x000001 && isPacketStart(b))
            startCode(b, i);
        else if (LengthLeft > 0)
            packetLengthByte();
        else if (FixedLeft > 0)
            fixedHeaderByte(b);
        else if (PtsLeft > 0)
            lonePtsByte(b);
        else if (PtsDtsLeft > 0)
            ptsDtsByte(b);
        else if (ExtFlagsLeft > 0)
            extensionFlagsByte(b);
        else if (PstdLeft > 0)
            pstdByte();
        else if (Ext2Left > 0)
            streamIdExtensionByte(b);
        else if (HeaderLeft > 0)
            stuffingByte();
        else if (SubHeaderLeft > 0)
            subStreamHeaderByte(b);
        else if (AudioHeaderLeft > 0)
            audioHeaderByte();
        else {
            if (ScanWord == kPackStartCode) packStart(i, len);
            i = scanToStartCode(i, len);
        }
    }
}

// A pack header begins at the start code before i. Its fields are read ahead, from the
// block or, when the block ends inside them, from the next; the scan passes over its bytes
// as over any between packets, so a damaged header costs no packet after it.
void Pass::packStart(size_t i, size_t len) {
    packGot_ = packWant_ = 0;
    packAt_ = blockStart_ + static_cast<int64_t>(i) - 4;
    if (i == len) {
        packWant_ = 1; // the first field byte says how many follow
        return;
    }
    const size_t want = packHeaderFieldBytes(buf_[i]);
    if (want == 0) return;
    if (len - i >= want) {
        packFields(buf_ + i);
        return;
    }
    packWant_ = static_cast<uint8_t>(want);
    packGot_ = static_cast<uint8_t>(len - i);
    std::copy(buf_ + i, buf_ + len, packBytes_.begin());
}

// The rest of a pack header's fields, from the start of the next block.
void Pass::packResume(size_t len) {
    if (packGot_ == 0) { // only the start code was in the last block
        if (len == 0) return;
        packWant_ = static_cast<uint8_t>(packHeaderFieldBytes(buf_[0]));
        if (packWant_ == 0) return;
    }
    const size_t take = std::min<size_t>(len, packWant_ - packGot_);
    std::copy(buf_, buf_ + take, packBytes_.begin() + packGot_);
    packGot_ = static_cast<uint8_t>(packGot_ + take);
    if (packGot_ < packWant_) return;
    packWant_ = 0;
    packFields(packBytes_.data());
}

void Pass::packFields(const uint8_t* p) {
    PackHeader h;
    readPackHeaderFields(p, h);
    hasScr_ = true;
    scr_ = h.scrBase;
    scrExtension_ = h.scrExtension;
    clock_.pack(packAt_, scr_);
}

// The payload from i to the end of the packet or of the block, handed on as one run (its
// bytes after the first are not entered into the scan word). Returns its length.
size_t Pass::payloadRun(size_t i, size_t len) {
    const size_t n = std::min(len - i, static_cast<size_t>(PacketLeft));
    if (PacketKind == Packet::Video || PacketKind == Packet::Audio ||
        PacketKind == Packet::MpegAudio || PacketKind == Packet::Subpicture)
        payload(i, n);
    PacketLeft -= static_cast<int32_t>(n);
    if (PacketLeft == 0) InPayload = false;
    return n;
}

// The byte before i and the rest of a packet passed over whole (program stream map,
// padding, private stream 2) that lie in this block: the scan word ends up holding their
// last bytes, as if they had been entered one by one. Returns how many bytes from i.
size_t Pass::skippedBytes(size_t i, size_t len) {
    --SkipLeft;
    --PacketLeft;
    const size_t m = std::min(len - i, static_cast<size_t>(SkipLeft));
    if (m >= 4) {
        const uint8_t* e = buf_ + i + m;
        ScanWord = static_cast<uint32_t>(e[-4]) << 24 | static_cast<uint32_t>(e[-3]) << 16 |
                   static_cast<uint32_t>(e[-2]) << 8 | e[-1];
    } else {
        for (size_t k = 0; k < m; ++k) ScanWord = (ScanWord << 8) | buf_[i + k];
    }
    SkipLeft -= static_cast<int32_t>(m);
    PacketLeft -= static_cast<int32_t>(m);
    return m;
}

// PES_packet_length, high byte then low byte.
void Pass::packetLengthByte() {
    if (--LengthLeft > 0) return;
    PacketLeft = static_cast<int32_t>(ScanWord & 0xFFFF);
    pes_.length = static_cast<uint16_t>(PacketLeft);
    if (PacketKind == Packet::Skip)
        SkipLeft = PacketLeft;
    else
        FixedLeft = 3;
}

// The two flag bytes (PTS_DTS_flags and PES_extension_flag in the second) and
// PES_header_data_length, which says what header fields follow.
void Pass::fixedHeaderByte(uint8_t b) {
    --PacketLeft;
    --FixedLeft;
    if (FixedLeft == 1) {
        PesFlags = b;
    } else if (FixedLeft == 0) {
        HeaderLeft = b;
        pes_.headerLength = b;
        if ((PesFlags & 0xC0) == 0x80) PtsLeft = 5;
        if ((PesFlags & 0xC0) == 0xC0) PtsDtsLeft = 10;
        if ((PesFlags & 0xC1) == 0x01) ExtFlagsLeft = 1;
        if (HeaderLeft == 0) headerEnds();
    }
}

void Pass::lonePtsByte(uint8_t b) {
    --PacketLeft;
    --HeaderLeft;
    timestampByte(5 - PtsLeft, b);
    if (--PtsLeft == 0) {
        CurPTS = pes_.pts = TsAcc;
        pes_.hasPts = true;
        afterTimestamps();
    }
}

void Pass::ptsDtsByte(uint8_t b) {
    --PacketLeft;
    --HeaderLeft;
    const int k = 10 - PtsDtsLeft; // 0..9
    timestampByte(k % 5, b);
    --PtsDtsLeft;
    if (k == 4) {
        CurPTS = VideoPTS = pes_.pts = TsAcc;
        pes_.hasPts = true;
    } else if (k == 9) {
        pes_.dts = TsAcc;
        pes_.hasDts = true;
        afterTimestamps();
    }
}

// The PES extension flags: a P-STD buffer field and a second extension may follow.
void Pass::extensionFlagsByte(uint8_t b) {
    --PacketLeft;
    --HeaderLeft;
    --ExtFlagsLeft;
    ExtFlags = b;
    if (ExtFlags & 0x10)
        PstdLeft = 2;
    else if (ExtFlags & 0x01)
        Ext2Left = 2;
    else if (HeaderLeft == 0)
        headerEnds();
}

void Pass::pstdByte() {
    --PacketLeft;
    --HeaderLeft;
    if (--PstdLeft > 0) return;
    if (ExtFlags & 0x01)
        Ext2Left = 2;
    else if (HeaderLeft == 0)
        headerEnds();
}

// The second extension: its length byte, then the stream id extension, which names the
// stream of an extended-stream packet.
void Pass::streamIdExtensionByte(uint8_t b) {
    --PacketLeft;
    --HeaderLeft;
    if (--Ext2Left > 0) return;
    const uint8_t x = b & 0x7F;
    pes_.key = {Carrier::Extension, x};
    if (const Codec codec = kExtensionCodecs[x]; codec != Codec::None)
        claimVideo(codec, x);
    else
        PacketKind = Packet::Ignore;
    if (HeaderLeft == 0) headerEnds();
}

// Stuffing and header fields not parsed.
void Pass::stuffingByte() {
    --PacketLeft;
    if (--HeaderLeft == 0) headerEnds();
}

// The private-stream-1 sub-stream header: the subpicture test at its first byte (the
// sub-stream id), the audio decision after its fourth.
void Pass::subStreamHeaderByte(uint8_t b) {
    --PacketLeft;
    const bool first = SubHeaderLeft == 4;
    --SubHeaderLeft;
    if (first)
        subpictureTest(b);
    else if (SubHeaderLeft == 0)
        audioDecision();
}

void Pass::audioHeaderByte() {
    --PacketLeft;
    if (--AudioHeaderLeft > 0) return;
    PacketKind = Packet::Audio;
    beginPayload();
}

// Between packets no counter runs, so every byte up to the next start code is passed over:
// a tight loop from i. Returns where the parse goes on.
size_t Pass::scanToStartCode(size_t i, size_t len) {
    while (i < len) {
        const uint8_t c = buf_[i++];
        ScanWord = (ScanWord << 8) | c;
        if ((ScanWord >> 8) == 0x000001) {
            if (isPacketStart(c)) {
                startCode(c, i);
                break;
            }
            if (c == (kPackStartCode & 0xFF)) packStart(i, len);
        }
    }
    return i;
}

int Pass::claim(StreamKey key, Family family, int ruleSlot, const CodecInfo& codec, bool& first) {
    claimed_.entry = entryOf(key);
    const int32_t entry = claimed_.entry;
    first = !met_.test(static_cast<size_t>(entry));
    // Late: neither the Read job nor an earlier part of this job gave it a slot or refused
    // one. Asked before the claim below gives it one, and only at its first packet.
    const bool late = first && !read_ && env_.onLateStream && env_.cat.Slots.slotOf(entry) < 0 &&
                      !env_.cat.Slots.refused(entry);
    const int slot = env_.cat.Slots.claim(entry, family, ruleSlot);
    if (first) {
        met_.set(static_cast<size_t>(entry));
        if (slot >= 0) {
            env_.cat.slotTable(family)[static_cast<size_t>(slot)] = SlotEntry(key);
            if (read_) env_.tell(StreamFound{family, slot, entry, codec.codec});
        }
        if (late) lateStream(entry, family, slot);
    }
    return slot;
}

void Pass::lateStream(int32_t entry, Family family, int slot) {
    env_.onLateStream(entry, family, slot);
    if (slot < 0) return;
    const auto k = static_cast<size_t>(slot);
    Stream* out = family == Family::Video   ? (k < 2 ? env_.io.VideoOut[k].get() : nullptr)
                  : family == Family::Audio ? env_.io.AudioOut[k].get()
                                            : (k < 16 ? env_.io.SubOut[k].get() : nullptr);
    if (!out) return;
    for (auto& q : pending_)
        if (q.out == out) return;
    // Room for every output was reserved at the pass start: the runs never move.
    if (pending_.size() < pending_.capacity()) pending_.emplace_back().out = out;
}

// A packet's start code ends before `next`.
void Pass::startCode(uint8_t id, size_t next) {
    // Counters left over from a damaged packet must not run into the new one.
    LengthLeft = 2;
    FixedLeft = PtsLeft = PtsDtsLeft = ExtFlagsLeft = PstdLeft = Ext2Left = 0;
    SubHeaderLeft = AudioHeaderLeft = 0;
    HeaderLeft = 0;
    InPayload = false;
    FirstVideoPacket = false;
    pes_ = {};
    pes_.offset = blockStart_ + static_cast<int64_t>(next) - 4;
    pes_.streamId = id;
    pes_.key = {Carrier::PesId, id};
    pes_.hasScr = hasScr_;
    pes_.scr = scr_;
    pes_.scrExtension = scrExtension_;
    claimed_ = {};
    switch (kPesActions[id]) {
    case PesAction::Stream:
        if (codecInfo(kPesCodecs[id]).family == Family::Video) {
            claimVideo(kPesCodecs[id], id);
        } else {
            // Claimed when the header ends, so that its first PTS is its own header's.
            MpegAudioId = id;
            PacketKind = Packet::MpegAudio;
        }
        break;
    case PesAction::Extended:
        // Only the stream id extension names the stream; a packet without one has none.
        PacketKind = Packet::Video;
        break;
    case PesAction::Private:
        PacketKind = Packet::Private;
        break;
    default:
        PacketKind = Packet::Skip;
        break;
    }
}

// The current packet is video of `codec`, the stream with id `id`.
void Pass::claimVideo(Codec codec, int id) {
    const CodecInfo& c = codecInfo(codec);
    bool first = false;
    claimed_.codec = codec;
    claimed_.slot =
        claim({c.carrier, static_cast<uint8_t>(id)}, Family::Video, ruleSlot(codec, id), c, first);
    if (first && c.ptsAtClaim) VideoPTS = CurPTS;
    FirstVideoPacket = first;
    PacketKind = Packet::Video;
}

// The current packet is audio of `codec`, the stream with id `id`.
void Pass::claimAudio(Codec codec, int id) {
    const CodecInfo& c = codecInfo(codec);
    bool first = false;
    claimed_.codec = codec;
    claimed_.slot =
        claim({c.carrier, static_cast<uint8_t>(id)}, Family::Audio, ruleSlot(codec, id), c, first);
    if (first && c.ptsAtClaim) AudioPTS = CurPTS;
}

// Byte k (0-4) of a 5-byte time-stamp field: the 33 bits between its marker bits.
void Pass::timestampByte(int k, uint8_t b) {
    switch (k) {
    case 0:
        TsAcc = Stamp{b & 0x0Eu} << 29;
        break;
    case 1:
        TsAcc |= Stamp{b} << 22;
        break;
    case 2:
        TsAcc |= Stamp{b & 0xFEu} << 14;
        break;
    case 3:
        TsAcc |= Stamp{b} << 7;
        break;
    default:
        TsAcc |= Stamp{b & 0xFEu} >> 1;
        break;
    }
}

void Pass::afterTimestamps() {
    // A video stream's first PTS is its first packet's own, also when that packet carries
    // a PTS alone (a stream without reordered pictures).
    if (FirstVideoPacket) VideoPTS = CurPTS;
    if (HeaderLeft == 0)
        headerEnds();
    else if (PacketKind == Packet::Video && (PesFlags & 0x01))
        ExtFlagsLeft = 1;
}

void Pass::headerEnds() {
    if (PacketKind == Packet::MpegAudio) claimAudio(kPesCodecs[MpegAudioId], MpegAudioId);
    if (PacketKind == Packet::Private) {
        if (PacketLeft > 0) SubHeaderLeft = 4; // else nothing is left to name a sub-stream
    } else {
        beginPayload();
    }
}

// The payload of the current packet starts at the next byte. A packet whose header uses
// up its whole length hands on an empty run (its stream is still met, and a subpicture
// packet's time still opens a record); one shorter than its header has no payload.
void Pass::beginPayload() {
    pes_.payloadStart = blockStart_ + static_cast<int64_t>(Next);
    if (pes_.hasPts && claimed_.slot >= 0 && PacketKind != Packet::Subpicture &&
        PacketKind != Packet::Ignore) {
        const bool video = PacketKind == Packet::Video;
        clock_.stamp(pes_.offset, video ? Family::Video : Family::Audio, claimed_.slot, pes_.pts);
        if (!video && !read_) clock_.audioWritten(claimed_.slot, &pes_.pts, 0);
    }
    pes_.payloadLength = PacketLeft > 0 ? static_cast<uint32_t>(PacketLeft) : 0;
    if (PacketLeft > 0) {
        InPayload = true;
        return;
    }
    if (PacketLeft == 0 && PacketKind != Packet::Ignore) payload(Next, 0);
}

void Pass::subpictureTest(uint8_t b) {
    const Codec codec = (*subStreamCodecs_)[b];
    const CodecInfo& c = codecInfo(codec);
    if (codec == Codec::None || c.family != Family::Subpicture) return;
    bool first = false;
    pes_.key = {Carrier::SubStream, b};
    claimed_.codec = codec;
    claimed_.slot = claim(pes_.key, Family::Subpicture, ruleSlot(codec, b), c, first);
    if (first && read_ && c.ptsAtClaim) SubPTS = CurPTS;
    RecordPending = pes_.hasPts;
    if (read_ && c.clearsPts) CurPTS = 0;
    SubHeaderLeft = 0;
    PacketKind = Packet::Subpicture;
    beginPayload();
}

void Pass::audioDecision() {
    const auto id = static_cast<uint8_t>(ScanWord >> 24);
    const Codec codec = (*subStreamCodecs_)[id];
    const CodecInfo& c = codecInfo(codec);
    pes_.key = {Carrier::SubStream, id};
    if (codec != Codec::None && c.family == Family::Audio) {
        claimAudio(codec, id);
        // The first four header bytes are behind; some kinds have more before the payload.
        AudioHeaderLeft = c.headerBytes - 4;
        if (AudioHeaderLeft <= 0) {
            AudioHeaderLeft = 0;
            PacketKind = Packet::Audio;
            beginPayload();
        }
    } else {
        PacketKind = Packet::Ignore;
        beginPayload();
    }
    CurPTS = 0;
}

} // namespace qf::pass
