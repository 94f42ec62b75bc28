#pragma once
// The program-stream pass inside: the resumable byte parser (engine/parser.cpp) and the
// handling of its payload runs (engine/payload.cpp). Only the engine includes this.
#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/uio.h>
#include <vector>

#include "engine/blockpass.h"
#include "engine/codecs.h"
#include "engine/demux.h"
#include "engine/framecount.h"
#include "engine/pes.h"
#include "engine/title_clock.h"

namespace qf::pass {

enum class Packet : uint8_t { None, Video, Audio, MpegAudio, Private, Subpicture, Ignore, Skip };

// Runs bound for one output, written together once the block has been parsed: one
// system call for many packets. The runs point into ReadBuffer, which stays unchanged
// until the next read; record headers are kept here.
struct PendingRuns {
    static constexpr size_t kRuns = 1024, kHeaders = 256;
    Stream* out = nullptr;
    size_t runs = 0, headers = 0;
    // A subpicture output's: where the last unit that began a pack of its own began.
    int64_t unitAt = INT64_MIN;
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

// One pass: the resumable byte parser and the handling of its payload runs.
class Pass final : public BlockHandler {
public:
    // The options are taken once: a pass does what was asked when it started.
    Pass(PassEnv& env, uint8_t mode, TitleClock& clock)
        : env_(env), clock_(clock), buf_(env.io.ReadBuffer.data()), read_(mode == kReadPass),
          aob_(env.aob), subStreamCodecs_(aob_ ? &kAobSubStreamCodecs : &kSubStreamCodecs),
          countFrames_(env.options.countFrames), details_(env.options.details),
          fastCheck_(env.options.fastCheck), dvdVideo_(env.dvdVideo) {}

    // Makes the pending runs of a demux pass's outputs.
    void begin();
    void parseBlock(std::span<const uint8_t> block) override;
    void writeChunk() override { flushOutputs(); }
    // The packet being parsed, or the last one: its header as far as read.
    const PesHeader& packet() const { return pes_; }

private:
    void parse(size_t len);
    // A pack header's fields, read ahead of the scan that passes over them.
    void packStart(size_t i, size_t len);
    void packResume(size_t len);
    void packFields(const uint8_t* p);
    // The parser's states: which part of a packet the next byte belongs to.
    size_t payloadRun(size_t i, size_t len);
    size_t skippedBytes(size_t i, size_t len);
    void packetLengthByte();
    void fixedHeaderByte(uint8_t b);
    void lonePtsByte(uint8_t b);
    void ptsDtsByte(uint8_t b);
    void extensionFlagsByte(uint8_t b);
    void pstdByte();
    void streamIdExtensionByte(uint8_t b);
    void stuffingByte();
    void subStreamHeaderByte(uint8_t b);
    void audioHeaderByte();
    size_t scanToStartCode(size_t i, size_t len);
    void startCode(uint8_t id, size_t next);
    void timestampByte(int k, uint8_t b);
    void afterTimestamps();
    void headerEnds();
    void beginPayload();
    void subpictureTest(uint8_t b);
    void audioDecision();
    void claimVideo(Codec codec, int id);
    void claimAudio(Codec codec, int id);
    int claim(StreamKey key, Family family, int ruleSlot, const CodecInfo& codec, bool& first);
    void lateStream(int32_t entry, Family family, int slot);
    void payload(size_t p, size_t n);
    void countFrames(size_t p, size_t n);
    void details(size_t p, size_t n);
    void output(size_t p, size_t n);
    PendingRuns& pending(Stream* out);
    void flushOutputs() {
        for (auto& q : pending_) q.flush();
    }
    void systemHeaderLine();

    PassEnv& env_;
    TitleClock& clock_;
    const uint8_t* buf_; // the block being parsed
    const bool read_;
    const bool aob_;
    const std::array<Codec, 256>* subStreamCodecs_; // by sub-stream id, for this source
    const bool countFrames_, details_, fastCheck_;
    const bool dvdVideo_;

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
    int PstdLeft = 0, Ext2Left = 0, SubHeaderLeft = 0;
    int AudioHeaderLeft = 0; // further sub-stream header bytes (LPCM 3, TrueHD 1) to pass over
    int32_t SkipLeft = 0;
    Stamp TsAcc = 0;
    // The first-PTS registers: the last PTS read (cleared by the sub-stream rules), and the
    // values the details report as each family's first PTS.
    Stamp CurPTS = 0;
    Stamp VideoPTS = 0, AudioPTS = 0, SubPTS = 0;
    uint8_t MpegAudioId = 0;       // PES id of the current MPEG audio packet
    bool FirstVideoPacket = false; // the current packet is the first of its MPEG-2/H.264 stream
    size_t Next = 0;               // index of the byte after the one being stepped
    int64_t blockStart_ = 0;       // source position of the block's first byte

    // The packet being parsed: its header as far as read, and the stream it belongs to.
    PesHeader pes_;
    struct Claimed {
        Codec codec = Codec::None;
        int entry = -1; // catalogue entry; -1 while the packet names none
        int slot = -1;  // -1: its family was full
    } claimed_;
    // The last pack header's clock, which the packets after it carry.
    int64_t packAt_ = 0; // source position of the pack header being read
    bool hasScr_ = false;
    Stamp scr_ = 0;
    uint16_t scrExtension_ = 0;
    // A pack header cut by the block's end: its field bytes gathered so far.
    std::array<uint8_t, 10> packBytes_{};
    uint8_t packGot_ = 0, packWant_ = 0;

    // Subpicture records: a record opens only for a packet whose own header had a PTS, at
    // its first run.
    bool RecordPending = false;

    std::bitset<kEntryLimit> met_;       // streams met in this pass
    std::bitset<kEntryLimit> described_; // streams whose first run has been handled
    std::array<CodeWindow, 2> frameWindow_{};
    std::array<PictureScan, 2> pictureScan_{}; // MPEG-2: frames and the fields they show

    std::vector<PendingRuns> pending_; // one per output of a demux pass, made at its start
};

} // namespace qf::pass
