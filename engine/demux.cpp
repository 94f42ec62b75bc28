#include "engine/demux.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "analysers/analysers.h"
#include "analysers/report.h"
#include "engine/blockpass.h"
#include "engine/context.h"
#include "engine/framecount.h"
#include "model/paths.h"

namespace qf {

namespace {

enum class Packet : uint8_t { None, Video, Audio, MpegAudio, Private, Subpicture, Ignore, Skip };
enum class VideoKind : uint8_t { MPEG2, H264, VC1 };
enum class AudioKind : uint8_t { AC3, EAC3, DTS, LPCM, TrueHD, MPA };

// Stream ids whose start code begins a packet the parser acts on.
bool isPacketStart(uint8_t id) {
    return id == 0xBD || id == 0xBC || id == 0xBE || id == 0xBF || id == 0xFD ||
           (id >= 0xC0 && id <= 0xCF) || (id >= 0xE0 && id <= 0xE3);
}

std::string hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

// Runs bound for one output, written together once the block has been parsed: one
// system call for many packets. The runs point into ReadBuffer, which stays unchanged
// until the next read; record headers are kept here.
struct PendingRuns {
    static constexpr size_t kRuns = 256, kHeaders = 64;
    Stream* out = nullptr;
    size_t runs = 0, headers = 0;
    std::array<iovec, kRuns> run;
    std::array<std::array<uint8_t, 10>, kHeaders> header;

    void flush() {
        if (runs) out->writeRuns(run.data(), runs);
        runs = headers = 0;
    }
    void add(const void* p, size_t n) {
        if (runs == kRuns) flush();
        run[runs++] = {const_cast<void*>(p), n};
    }
    void addHeader(const uint8_t (&h)[10]) {
        if (headers == kHeaders || runs == kRuns) flush();
        std::copy(std::begin(h), std::end(h), header[headers].begin());
        add(header[headers++].data(), 10);
    }
};

// The analysers' view of the pass while a stream's first run is described: their lines go
// to the log only when details are wanted; the values they find are kept either way (the
// frame rate gives the durations of the frame counts).
class FirstRunReport final : public Report {
public:
    FirstRunReport(Context& ctx, bool describe, StreamFacts& facts)
        : ctx_(ctx), describe_(describe), facts_(facts) {}
    std::span<const uint8_t> block() const override { return ctx_.block(); }
    const NameTables& tables() const override { return ctx_; }
    char decimalSeparator() const override { return ctx_.decimalSeparator(); }
    void log(std::string_view line) override {
        if (describe_) ctx_.log(line);
    }
    void value(std::string_view name, double v) override { facts_.set(name, v); }
    void value(std::string_view name, std::string_view text) override {
        facts_.set(name, std::string(text));
    }

private:
    Context& ctx_;
    bool describe_;
    StreamFacts& facts_;
};

// One pass: the resumable byte parser and the handling of its payload runs.
class Pass {
public:
    Pass(Context& ctx, uint8_t mode)
        : ctx_(ctx), buf_(ctx.ReadBuffer.data()), read_(mode == kReadPass), aob_(isAobSource(ctx)) {
    }

    void run();

private:
    void parse(size_t len);
    void startCode(uint8_t id);
    void timestampByte(int k, uint8_t b);
    void afterTimestamps();
    void headerEnds();
    void beginPayload();
    void subpictureTest(uint8_t b);
    void audioDecision();
    int claim(int32_t entry, Family family, int ruleSlot, const char* found, bool& first);
    void payload(size_t p, size_t n);
    void countFrames(size_t p, size_t n);
    void details(size_t p, size_t n, int entry, int slot);
    void output(size_t p, size_t n, int slot);
    PendingRuns& pending(Stream* out);
    void flushOutputs() {
        for (auto& q : pending_) q.flush();
    }
    void systemHeaderLine();

    Context& ctx_;
    uint8_t* buf_;
    const bool read_;
    const bool aob_;

    // Parser state, kept across blocks.
    uint32_t ScanWord = 0;
    Packet PacketKind = Packet::None;
    bool InPayload = false;
    int32_t PacketLeft = 0;
    int LengthLeft = 0, FixedLeft = 0;
    uint8_t PesFlags = 0;
    uint8_t HeaderLeft = 0; // a byte, like the header-length field it counts down
    int PtsLeft = 0, PtsDtsLeft = 0, ExtFlagsLeft = 0;
    uint8_t ExtFlags = 0;
    int PstdLeft = 0, Ext2Left = 0, SubHeaderLeft = 0, LpcmLeft = 0, TrueHDLeft = 0;
    int32_t SkipLeft = 0;
    uint32_t TsAcc = 0, CurPTS = 0, CurDTS = 0;
    uint32_t VideoPTS = 0, AudioPTS = 0, SubPTS = 0;
    int VideoIdx = -1, AudioIdx = -1, SubIdx = -1;
    VideoKind VideoKind_ = VideoKind::MPEG2;
    AudioKind AudioKind_ = AudioKind::AC3;
    int VideoId = 0, AudioId = 0, SubId = 0;
    // Catalogue entries of the current packets' streams; -1 while a packet names none.
    int VideoEntry = -1, AudioEntry = -1, SubEntry = -1;
    uint8_t MpegAudioId = 0;       // PES id of the current MPEG audio packet
    bool FirstVideoPacket = false; // the current packet is the first of its MPEG-2/H.264 stream
    size_t Next = 0;               // index of the byte after the one being stepped

    // Subpicture records: a record opens only for a packet whose own header had a PTS.
    bool PacketHasPts = false;
    bool RecordPending = false;
    uint32_t RecordPTS = 0;

    std::bitset<kEntryLimit> met_;       // streams met in this pass
    std::bitset<kEntryLimit> described_; // streams whose first run has been handled
    std::array<CodeWindow, 2> frameWindow_{};

    std::vector<PendingRuns> pending_; // one per output of a demux pass, made at its start
};

void Pass::run() {
    Context& c = ctx_;
    c.fillReportTables();
    c.resetCatalogue();
    if (!read_) {
        pending_.reserve(c.VideoOut.size() + c.AudioOut.size() + c.SubOut.size());
        auto addAll = [&](auto& outs) {
            for (auto& o : outs)
                if (o) pending_.emplace_back().out = o.get();
        };
        addAll(c.VideoOut);
        addAll(c.AudioOut);
        addAll(c.SubOut);
    }

    BlockPassSettings how;
    how.writes = !read_;
    if (read_ && c.ui.cbFastCheck) how.stopPast = kFastCheckLimit;
    runBlocks(c, how, [&](size_t len) {
        // The first system header is taken to follow a 14-byte pack header at the start.
        if (read_ && c.SourceStream->position() == static_cast<int64_t>(kBlockSize) &&
            buf_[16] == 0x01 && buf_[17] == 0xBB)
            systemHeaderLine();
        parse(len);
        flushOutputs();
    });
    if (c.CancelFlag) c.FrameCount = {0, 0};
}

void Pass::systemHeaderLine() {
    const int v = buf_[24] & 0x1F, a = buf_[23] >> 2;
    ctx_.log("It contains " + std::to_string(v) + " video stream" + (v > 1 ? "s" : "") + " and " +
             std::to_string(a) + " audio stream" + (a > 1 ? "s." : "."));
}

void Pass::parse(size_t len) {
    size_t i = 0;
    while (i < len) {
        const uint8_t b = buf_[i];
        ScanWord = (ScanWord << 8) | b;

        if (InPayload) { // a payload run, to the end of the packet or of the block
            const size_t n = std::min(len - i, static_cast<size_t>(PacketLeft));
            if (PacketKind == Packet::Video || PacketKind == Packet::Audio ||
                PacketKind == Packet::MpegAudio || PacketKind == Packet::Subpicture)
                payload(i, n);
            PacketLeft -= static_cast<int32_t>(n);
            if (PacketLeft == 0) InPayload = false;
            i += n;
            continue;
        }
        Next = ++i;
        if (SkipLeft > 0) { // the rest of a packet passed over whole
            --SkipLeft;
            --PacketLeft;
            // Pass over the rest of the skipped packet in this block at once; the scan
            // word ends up holding its last bytes, as if they had been entered one by one.
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
            i += m;
            continue;
        }
        // A start code completed by any byte outside a payload or skipped packet begins a
        // new packet, whatever header counter runs.
        if ((ScanWord >> 8) == 0x000001 && isPacketStart(b)) {
            startCode(b);
            continue;
        }
        if (LengthLeft == 2) { // PES_packet_length
            LengthLeft = 1;
        } else if (LengthLeft == 1) {
            LengthLeft = 0;
            PacketLeft = static_cast<int32_t>(ScanWord & 0xFFFF);
            if (PacketKind == Packet::Skip)
                SkipLeft = PacketLeft;
            else
                FixedLeft = 3;
        } else if (FixedLeft > 0) { // two flag bytes, PES_header_data_length
            --PacketLeft;
            --FixedLeft;
            if (FixedLeft == 1) {
                PesFlags = b;
            } else if (FixedLeft == 0) {
                HeaderLeft = b;
                if ((PesFlags & 0xC0) == 0x80) PtsLeft = 5;
                if ((PesFlags & 0xC0) == 0xC0) PtsDtsLeft = 10;
                if ((PesFlags & 0xC1) == 0x01) ExtFlagsLeft = 1;
                if (HeaderLeft == 0) headerEnds();
            }
        } else if (PtsLeft > 0) { // a lone PTS
            --PacketLeft;
            --HeaderLeft;
            timestampByte(5 - PtsLeft, b);
            if (--PtsLeft == 0) {
                CurPTS = TsAcc;
                PacketHasPts = true;
                afterTimestamps();
            }
        } else if (PtsDtsLeft > 0) { // a PTS and a DTS
            --PacketLeft;
            --HeaderLeft;
            const int k = 10 - PtsDtsLeft; // 0..9
            timestampByte(k % 5, b);
            --PtsDtsLeft;
            if (k == 4) {
                CurPTS = VideoPTS = TsAcc;
                PacketHasPts = true;
            } else if (k == 9) {
                CurDTS = TsAcc;
                afterTimestamps();
            }
        } else if (ExtFlagsLeft > 0) { // the PES extension flags
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
        } else if (PstdLeft > 0) { // the P-STD buffer field
            --PacketLeft;
            --HeaderLeft;
            if (--PstdLeft == 0) {
                if (ExtFlags & 0x01)
                    Ext2Left = 2;
                else if (HeaderLeft == 0)
                    headerEnds();
            }
        } else if (Ext2Left > 0) { // field length and stream_id_extension
            --PacketLeft;
            --HeaderLeft;
            if (--Ext2Left == 0) {
                const uint8_t x = b & 0x7F;
                if (x == 0x55 || x == 0x56) {
                    bool first = false;
                    VideoId = VideoEntry = x;
                    VideoIdx =
                        claim(x, Family::Video, x - 0x55, "[b]VC-1[/b] video stream ", first);
                    if (first) VideoPTS = CurPTS;
                    PacketKind = Packet::Video;
                } else {
                    PacketKind = Packet::Ignore;
                }
                if (HeaderLeft == 0) headerEnds();
            }
        } else if (HeaderLeft > 0) { // stuffing and fields not parsed
            --PacketLeft;
            if (--HeaderLeft == 0) headerEnds();
        } else if (SubHeaderLeft > 0) { // the private-stream-1 sub-stream header
            --PacketLeft;
            const bool first = SubHeaderLeft == 4;
            --SubHeaderLeft;
            if (first)
                subpictureTest(b);
            else if (SubHeaderLeft == 0)
                audioDecision();
        } else if (LpcmLeft > 0) { // further LPCM header bytes
            --PacketLeft;
            if (--LpcmLeft == 0) {
                PacketKind = Packet::Audio;
                beginPayload();
            }
        } else if (TrueHDLeft > 0) { // the further TrueHD header byte
            --PacketLeft;
            if (--TrueHDLeft == 0) {
                PacketKind = Packet::Audio;
                beginPayload();
            }
        } else {
            // Between packets no counter runs, so every byte up to the next start code is
            // passed over: scan for it in a tight loop.
            while (i < len) {
                const uint8_t c = buf_[i++];
                ScanWord = (ScanWord << 8) | c;
                if ((ScanWord >> 8) == 0x000001 && isPacketStart(c)) {
                    startCode(c);
                    break;
                }
            }
        }
    }
}

int Pass::claim(int32_t entry, Family family, int ruleSlot, const char* found, bool& first) {
    const int slot = ctx_.Slots.claim(entry, family, ruleSlot);
    first = !met_.test(static_cast<size_t>(entry));
    if (first) {
        met_.set(static_cast<size_t>(entry));
        if (slot >= 0) {
            int32_t* table = family == Family::Video   ? ctx_.VideoSlots.data()
                             : family == Family::Audio ? ctx_.AudioSlots.data()
                                                       : ctx_.SubSlots.data();
            table[slot] = entry;
            if (read_ && found) ctx_.log(std::string(found) + std::to_string(slot) + " found!");
        }
    }
    return slot;
}

void Pass::startCode(uint8_t id) {
    // Counters left over from a damaged packet must not run into the new one.
    LengthLeft = 2;
    FixedLeft = PtsLeft = PtsDtsLeft = ExtFlagsLeft = PstdLeft = Ext2Left = 0;
    SubHeaderLeft = LpcmLeft = TrueHDLeft = 0;
    HeaderLeft = 0;
    InPayload = false;
    PacketHasPts = false;
    FirstVideoPacket = false;
    bool first = false;
    if (id == 0xE0 || id == 0xE1) {
        VideoId = VideoEntry = id;
        VideoIdx = claim(id, Family::Video, id & 1, "[b]MPEG-2[/b] video stream ", first);
        if (first) VideoPTS = CurPTS;
        FirstVideoPacket = first;
        VideoKind_ = VideoKind::MPEG2;
        PacketKind = Packet::Video;
    } else if (id == 0xE2 || id == 0xE3) {
        VideoId = VideoEntry = id;
        VideoIdx = claim(id, Family::Video, id & 1, "[b]H.264 (AVC)[/b] video stream ", first);
        FirstVideoPacket = first;
        VideoKind_ = VideoKind::H264;
        PacketKind = Packet::Video;
    } else if (id == 0xFD) {
        // Only the stream id extension names the stream; a packet without one has none.
        VideoEntry = VideoIdx = -1;
        VideoKind_ = VideoKind::VC1;
        PacketKind = Packet::Video;
    } else if (id >= 0xC0 && id <= 0xCF) {
        MpegAudioId = id;
        PacketKind = Packet::MpegAudio;
    } else if (id == 0xBD) {
        PacketKind = Packet::Private;
    } else {
        PacketKind = Packet::Skip;
    }
}

void Pass::timestampByte(int k, uint8_t b) {
    switch (k) {
    case 0:
        TsAcc = static_cast<uint32_t>(b & 0x06) << 29;
        break;
    case 1:
        TsAcc |= static_cast<uint32_t>(b) << 22;
        break;
    case 2:
        TsAcc |= static_cast<uint32_t>(b & 0xFE) << 14;
        break;
    case 3:
        TsAcc |= static_cast<uint32_t>(b) << 7;
        break;
    default:
        TsAcc |= static_cast<uint32_t>(b & 0xFE) >> 1;
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
    if (PacketKind == Packet::MpegAudio) {
        // Claimed here, so that the stream's first PTS is its own header's.
        bool first = false;
        AudioId = MpegAudioId;
        AudioEntry = kMpegAudioEntry + MpegAudioId;
        AudioKind_ = AudioKind::MPA;
        AudioIdx = claim(AudioEntry, Family::Audio, MpegAudioId & 0x0F, "[b]MPEG[/b] audio stream ",
                         first);
        if (first) AudioPTS = CurPTS;
    }
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
    if (PacketLeft > 0) {
        InPayload = true;
        return;
    }
    if (PacketLeft == 0 && PacketKind != Packet::Ignore) payload(Next, 0);
}

void Pass::subpictureTest(uint8_t b) {
    const bool plain = (b & 0xE0) == 0x20, extended = (b & 0xE0) == 0x60;
    if (!plain && !extended) return;
    bool first = false;
    SubId = SubEntry = b;
    SubIdx =
        claim(b, Family::Subpicture, b & 0x1F,
              plain ? "[b]Subpicture[/b] stream " : "[b]Extended subpicture[/b] stream ", first);
    if (first && read_) SubPTS = CurPTS;
    RecordPending = PacketHasPts;
    RecordPTS = CurPTS;
    if (read_ && plain) CurPTS = 0;
    SubHeaderLeft = 0;
    PacketKind = Packet::Subpicture;
    beginPayload();
}

void Pass::audioDecision() {
    const uint32_t id = ScanWord >> 24;
    int rule = static_cast<int>(id & 0x0F);
    const char* msg = nullptr;
    if (id >= 0x80 && id <= 0x87) {
        rule = id & 7;
        AudioKind_ = AudioKind::AC3;
        msg = "[b]Dolby Digital[/b] audio stream ";
    } else if (id >= 0x88 && id <= 0x8F) {
        rule = id & 7;
        AudioKind_ = AudioKind::DTS;
        msg = "[b]DTS HD (DTS)[/b] audio stream ";
    } else if (id >= 0xC0 && id <= 0xCF) {
        AudioKind_ = AudioKind::EAC3;
        msg = "[b]Dolby Digital[/b] Plus audio stream ";
    } else if (id >= 0xA0 && id <= 0xA7) {
        AudioKind_ = AudioKind::LPCM;
        msg = (id == 0xA1 && aob_) ? "[b]MLP[/b] audio stream " : "[b]LPCM[/b] audio stream ";
    } else if (id >= 0xB0 && id <= 0xB7) {
        rule = id & 7;
        AudioKind_ = AudioKind::TrueHD;
        msg = "[b]Dolby TrueHD[/b] audio stream ";
    }
    if (msg) {
        bool first = false;
        AudioId = AudioEntry = static_cast<int>(id);
        AudioIdx = claim(AudioEntry, Family::Audio, rule, msg, first);
        if (first) AudioPTS = CurPTS;
        if (AudioKind_ == AudioKind::LPCM) {
            LpcmLeft = 3;
        } else if (AudioKind_ == AudioKind::TrueHD) {
            TrueHDLeft = 1;
        } else {
            PacketKind = Packet::Audio;
            beginPayload();
        }
    } else {
        PacketKind = Packet::Ignore;
        beginPayload();
    }
    CurPTS = 0;
}

void Pass::payload(size_t p, size_t n) {
    int entry = -1, slot = -1;
    switch (PacketKind) {
    case Packet::Video:
        entry = VideoEntry, slot = VideoIdx;
        break;
    case Packet::Audio:
    case Packet::MpegAudio:
        entry = AudioEntry, slot = AudioIdx;
        break;
    case Packet::Subpicture:
        entry = SubEntry, slot = SubIdx;
        break;
    default:
        return;
    }
    if (entry < 0) return; // the packet names no stream
    if (PacketKind == Packet::Video && slot >= 0 && ctx_.ui.cbCountFr) countFrames(p, n);
    if (read_)
        details(p, n, entry, slot);
    else
        output(p, n, slot);
}

void Pass::countFrames(size_t p, size_t n) {
    if (!read_ && !ctx_.ui.cbVideo[VideoIdx].checked) return;
    static constexpr uint8_t kPattern[] = {0x00, 0x09, 0x0D}; // MPEG-2, H.264, VC-1
    ctx_.FrameCount[VideoIdx] += countStartCodes(frameWindow_[VideoIdx], buf_ + p, n,
                                                 kPattern[static_cast<int>(VideoKind_)]);
}

void Pass::details(size_t p, size_t n, int entry, int slot) {
    if (described_.test(static_cast<size_t>(entry))) return;
    described_.set(static_cast<size_t>(entry));
    Context& c = ctx_;
    const bool describe = c.ui.cbDetails;
    const bool video = PacketKind == Packet::Video, sub = PacketKind == Packet::Subpicture;
    const uint32_t pts = video ? VideoPTS : sub ? SubPTS : AudioPTS;
    // Also without details, or subpicture times would come out shifted.
    if (!sub && pts < c.EarliestPTS) c.EarliestPTS = pts;

    if (describe) {
        c.log("   First PTS = " + hex(pts, 8));
        c.log("   Stream id = " + hex(static_cast<uint32_t>(video ? VideoId
                                                            : sub ? SubId
                                                                  : AudioId),
                                      2));
        if (slot < 0) {
            c.log("   No free slot: this stream cannot be selected");
            return;
        }
    }
    if (slot < 0) return;
    StreamFacts& facts = video ? c.VideoFacts[static_cast<size_t>(slot)]
                         : sub ? c.SubFacts[static_cast<size_t>(slot)]
                               : c.AudioFacts[static_cast<size_t>(slot)];
    if (facts.entry < 0) { // a two-part title keeps what its first part showed
        facts.entry = entry;
        facts.firstPts = pts;
    }
    FirstRunReport r(c, describe, facts);
    if (sub) {
        // A unit whose size field is 0 carries 8-bit RLE; with one byte, decide by that one.
        const bool eightBit = n > 0 && buf_[p] == 0 && (n < 2 || buf_[p + 1] == 0);
        r.log(eightBit ? "   Format = [bl]8bitRLE[/bl]" : "   Format = [bl]2bitRLE[/bl]");
        r.value(key::Format, eightBit ? "8bitRLE" : "2bitRLE");
        return;
    }
    if (n == 0) return;
    if (video) {
        switch (VideoKind_) {
        case VideoKind::MPEG2:
            MPEG2info(r, p, n, VideoPTS, CurDTS);
            break;
        case VideoKind::H264:
            H264info(r, p, n, VideoPTS, CurDTS);
            break;
        case VideoKind::VC1:
            VC1info(r, p, n, CurDTS, VideoPTS);
            break;
        }
        return;
    }
    switch (AudioKind_) {
    case AudioKind::AC3:
    case AudioKind::EAC3:
        AC3info(r, p, n, AudioIdx);
        break;
    case AudioKind::DTS:
        DTSinfo(r, p, n, AudioIdx);
        break;
    case AudioKind::TrueHD:
        MLPinfo(r, p, n);
        break;
    case AudioKind::LPCM:
        if (AudioId == 0xA1 && aob_)
            MLPinfo(r, p, n);
        else
            LPCMinfo(r, p, n);
        break;
    case AudioKind::MPA:
        MPAinfo(r, p, n);
        break;
    }
}

void Pass::output(size_t p, size_t n, int slot) {
    Context& c = ctx_;
    Stream* out = nullptr;
    if (slot >= 0) {
        if (PacketKind == Packet::Video) {
            if (c.ui.cbVideo[slot].checked) out = c.VideoOut[slot].get();
        } else if (PacketKind == Packet::Subpicture) {
            if (slot < 16 && c.ui.cbSub[slot].checked) out = c.SubOut[slot].get();
        } else if (c.ui.cbAudio[slot].checked) {
            out = c.AudioOut[slot].get();
        }
    }
    if (PacketKind == Packet::Subpicture && RecordPending) {
        RecordPending = false;
        // Times are relative to the earliest audio/video PTS of the last read, if any.
        const uint32_t pts = c.EarliestPTS == 0xFFFFFFFF ? RecordPTS : RecordPTS - c.EarliestPTS;
        if (out) {
            const uint8_t rec[10] = {'S',
                                     'P',
                                     static_cast<uint8_t>(pts),
                                     static_cast<uint8_t>(pts >> 8),
                                     static_cast<uint8_t>(pts >> 16),
                                     static_cast<uint8_t>(pts >> 24),
                                     0,
                                     0,
                                     0,
                                     0};
            pending(out).addHeader(rec);
            CurPTS = 0;
        }
    }
    if (out && n > 0) pending(out).add(buf_ + p, n);
}

PendingRuns& Pass::pending(Stream* out) {
    for (auto& q : pending_)
        if (q.out == out) return q;
    // Every output is registered at the pass start, and the pending runs point into
    // pending_, so it must never grow during the pass.
    throw std::logic_error("output not registered with the pass");
}

} // namespace

bool isAobSource(const Context& ctx) {
    return upperExt(ctx.ui.eEVOfile) == ".AOB";
}

void demux(Context& ctx, uint8_t mode) {
    Pass(ctx, mode).run();
}

} // namespace qf
