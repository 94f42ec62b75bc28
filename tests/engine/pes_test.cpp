// The pass's packet values: each PES header read into one value (where it lies, its stream,
// its lengths, its 33-bit time stamps, its pack's clock) whichever block boundaries cut it;
// first PTS, earliest PTS and subpicture record times on whole 33-bit stamps, the short way
// round their wrap; packs with stuffing and an uncommon system header read and demuxed.
#include <gtest/gtest.h>

#include <memory>

#include "engine/demux.h"
#include "engine/pass.h"
#include "support/memory_stream.h"
#include "support/ps_builder.h"

namespace qf::test {
namespace {

constexpr uint64_t k32 = uint64_t{1} << 32, kWrap = uint64_t{1} << 33;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes pes(uint8_t id, Bytes sub, size_t payload, std::optional<uint64_t> pts,
          std::optional<uint64_t> dts = std::nullopt, std::optional<uint8_t> ext = std::nullopt) {
    Pes p;
    p.streamId = id;
    p.pts = pts;
    p.dts = dts;
    p.streamIdExt = ext;
    p.subHeader = std::move(sub);
    for (size_t k = 0; k < payload; ++k) p.payload.push_back(static_cast<uint8_t>(k * 13 + id));
    return pesBytes(p);
}

// A system header of `entries` stream entries: DVDs have two, a length of 12.
Bytes systemHeaderOf(int entries) {
    const auto length = static_cast<uint8_t>(6 + 3 * entries);
    Bytes s = {0x00, 0x00, 0x01, 0xBB, 0x00, length, 0x80, 0x00, 0x01, 0x05, 0xE1, 0xFF};
    for (int e = 0; e < entries; ++e)
        s.insert(s.end(), {static_cast<uint8_t>(0xBD + e), 0xE0, static_cast<uint8_t>(e)});
    return s;
}

// An MPEG-1 pack header: '0010', the SCR as a time-stamp field, the mux rate.
Bytes mpeg1PackHeader(uint64_t scr) {
    Bytes p = {0x00, 0x00, 0x01, 0xBA};
    putTimestamp(p, 0x2, scr);
    p.insert(p.end(), {0x80, 0x1B, 0x83});
    return p;
}

// An MPEG-2 pack header with a 27 MHz extension.
Bytes packHeaderWithExtension(uint64_t scr, uint16_t extension) {
    Bytes p = packHeader(scr);
    p[8] = static_cast<uint8_t>(p[8] | (extension >> 7));
    p[9] = static_cast<uint8_t>((extension << 1) | 1);
    return p;
}

// A read pass's world over in-memory bytes, fed block by block or whole.
struct World {
    PassIo io;
    Catalogue cat;
    RunControl control;
    struct Sink final : JobEvents {
        std::vector<std::string> lines;
        void logAppended(const std::string& l) override { lines.push_back(l); }
        void statusChanged(int, const std::string&) override {}
    } sink;
    PassEnv env{io, cat, control, sink};

    World() { cat.EarliestPTS = kNoEarliestPts; } // as the Read job begins

    void pass(const Bytes& bytes, uint8_t mode) {
        io.SourceStream = std::make_unique<MemoryStream>(bytes);
        demux(env, mode);
    }
};

TEST(PacketValue, HoldsTheHeaderWhereverTheBlocksEnd) {
    struct Case {
        const char* what;
        Bytes before, packet;
        PesHeader want; // offset and payloadStart from the start of `packet`
    };
    const auto value = [](uint8_t id, StreamKey key, uint16_t length, uint8_t headerLength,
                          int64_t payloadAt, uint32_t payload, std::optional<Stamp> pts,
                          std::optional<Stamp> dts, std::optional<Stamp> scr,
                          uint16_t scrExtension = 0) {
        PesHeader h;
        h.streamId = id, h.key = key, h.length = length, h.headerLength = headerLength;
        h.payloadStart = payloadAt, h.payloadLength = payload;
        h.hasPts = pts.has_value(), h.pts = pts.value_or(0);
        h.hasDts = dts.has_value(), h.dts = dts.value_or(0);
        h.hasScr = scr.has_value(), h.scr = scr.value_or(0), h.scrExtension = scrExtension;
        return h;
    };
    const std::vector<Case> cases = {
        {"MPEG-2 video, bit 32 of PTS, DTS and SCR set", packHeader(k32 + 0x23456789),
         pes(0xE0, {}, 16, k32 + 0x8765'4321, k32 + 0x8765'0000),
         value(0xE0, {Carrier::PesId, 0xE0}, 29, 10, 19, 16, k32 + 0x8765'4321, k32 + 0x8765'0000,
               k32 + 0x23456789)},
        {"AC-3 behind a stuffed pack header and a system header of seven streams",
         cat({packHeader(0x100, 25200, 7), systemHeaderOf(7)}),
         pes(0xBD, subHeaderAudio(0x81), 20, kWrap - 1),
         value(0xBD, {Carrier::SubStream, 0x81}, 32, 5, 18, 20, kWrap - 1, {}, 0x100)},
        {"subpicture, its payload behind the sub-stream id",
         packHeaderWithExtension(0x1'0000'0000, 261), pes(0xBD, subHeaderSub(0x21), 10, 5),
         value(0xBD, {Carrier::SubStream, 0x21}, 19, 5, 15, 10, 5, {}, k32, 261)},
        {"VC-1 named by its stream id extension", packHeader(90000),
         pes(0xFD, {}, 8, k32 + 7, k32 + 3, 0x55),
         value(0xFD, {Carrier::Extension, 0x55}, 24, 13, 22, 8, k32 + 7, k32 + 3, 90000)},
        {"MPEG audio in an MPEG-1 pack", mpeg1PackHeader(k32 + 1234), pes(0xC0, {}, 12, 77),
         value(0xC0, {Carrier::PesId, 0xC0}, 20, 5, 14, 12, 77, {}, k32 + 1234)},
        {"no pack header, no time stamp",
         {},
         pes(0xE1, {}, 4, {}),
         value(0xE1, {Carrier::PesId, 0xE1}, 7, 0, 9, 4, {}, {}, {})},
    };
    for (const Case& c : cases) {
        const Bytes file = cat({c.before, c.packet});
        PesHeader want = c.want;
        const auto at = static_cast<int64_t>(c.before.size());
        want.offset = at;
        want.payloadStart += at;
        for (size_t cut = 0; cut <= file.size(); ++cut) {
            SCOPED_TRACE(std::string(c.what) + ", blocks cut at " + std::to_string(cut));
            World w;
            TitleClock clock;
            pass::Pass pass(w.env, kReadPass, clock);
            for (const auto& [from, to] :
                 {std::pair{size_t{0}, cut}, std::pair{cut, file.size()}}) {
                std::copy(file.begin() + static_cast<ptrdiff_t>(from),
                          file.begin() + static_cast<ptrdiff_t>(to), w.io.ReadBuffer.begin());
                w.io.BlockAt = 0, w.io.BlockLen = to - from;
                w.io.BlockEnd = static_cast<int64_t>(to);
                pass.parseBlock(w.io.block());
            }
            const PesHeader& got = pass.packet();
            EXPECT_EQ(got.offset, want.offset);
            EXPECT_EQ(got.streamId, want.streamId);
            EXPECT_TRUE(got.key == want.key) << int(got.key.carrier) << " " << int(got.key.id);
            EXPECT_EQ(got.length, want.length);
            EXPECT_EQ(got.headerLength, want.headerLength);
            EXPECT_EQ(got.payloadStart, want.payloadStart);
            EXPECT_EQ(got.payloadLength, want.payloadLength);
            EXPECT_EQ(got.hasPts, want.hasPts);
            EXPECT_EQ(got.pts, want.pts);
            EXPECT_EQ(got.hasDts, want.hasDts);
            EXPECT_EQ(got.dts, want.dts);
            EXPECT_EQ(got.hasScr, want.hasScr);
            EXPECT_EQ(got.scr, want.scr);
            EXPECT_EQ(got.scrExtension, want.scrExtension);
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Video, AC-3 and a subpicture stream whose first time stamps are given: the first PTS of
// each, the earliest of audio and video and the subpicture record's time relative to it.
TEST(PacketValue, FirstAndEarliestPtsAreWholeStamps) {
    struct Case {
        const char* what;
        uint64_t video, audio, sub;
        uint64_t earliest;
        uint32_t record; // the .sup record's time
        const char* videoLine;
    };
    const std::vector<Case> cases = {
        {"bit 32 set in both", k32 + 0x1000, k32 + 0x1000 + 9000, k32 + 0x1000 + 90000,
         k32 + 0x1000, 90000, "   First PTS = 00001000"},
        // The low 32 bits alone would put the video 1800 ticks before the audio.
        {"audio below 2^32, video above", k32 + 900, k32 - 900, k32 - 900 + 90000, k32 - 900, 90000,
         "   First PTS = 00000384"},
        {"video before the wrap, audio after it", kWrap - 4500, 4500, 45000, kWrap - 4500, 49500,
         "   First PTS = FFFFEE6C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = cat({packHeader(c.video), pes(0xE0, {}, 8, c.video, c.video - 3600),
                                pes(0xBD, subHeaderAudio(0x80), 8, c.audio),
                                pes(0xBD, subHeaderSub(0x20), 6, c.sub)});
        World w;
        w.pass(file, kReadPass);
        EXPECT_EQ(w.cat.VideoFacts[0].firstPts, c.video);
        EXPECT_EQ(w.cat.AudioFacts[0].firstPts, c.audio);
        EXPECT_EQ(w.cat.SubFacts[0].firstPts, c.sub);
        EXPECT_EQ(w.cat.EarliestPTS, c.earliest);
        EXPECT_NE(std::find(w.sink.lines.begin(), w.sink.lines.end(), c.videoLine),
                  w.sink.lines.end());

        auto out = std::make_unique<MemoryStream>();
        MemoryStream& sup = *out;
        w.io.SubOut[0] = std::move(out);
        w.pass(file, kDemuxPass);
        ASSERT_GE(sup.data.size(), 10u);
        EXPECT_EQ(Bytes(sup.data.begin(), sup.data.begin() + 10), spHeader(c.record));
    }
}

// Packs of every stuffing length, the first with a system header of twelve streams, and
// packets cut by the block boundaries: the read finds the streams, the demux gives each
// one's payload whole.
TEST(PacketValue, StuffedPacksAreReadAndDemuxed) {
    Bytes file, video, audio, sup;
    for (int i = 0; file.size() < kBlockSize + 40000; ++i) {
        const auto n = static_cast<size_t>(1500 + i * 7 % 400);
        const uint64_t pts = k32 + 90000 + 3600 * static_cast<uint64_t>(i);
        Bytes packet;
        if (i % 3 == 0) {
            packet = pes(0xE0, {}, n, pts, pts - 3600);
            video = cat({video, Bytes(packet.end() - static_cast<ptrdiff_t>(n), packet.end())});
        } else if (i % 3 == 1) {
            packet = pes(0xBD, subHeaderAudio(0x80), n, pts);
            audio = cat({audio, Bytes(packet.end() - static_cast<ptrdiff_t>(n), packet.end())});
        } else {
            packet = pes(0xBD, subHeaderSub(0x20), n, pts);
            sup = cat({sup, spHeader(static_cast<uint32_t>(pts - (k32 + 90000))),
                       Bytes(packet.end() - static_cast<ptrdiff_t>(n), packet.end())});
        }
        file = cat({file, packHeader(pts - 9000, 25200, i % 8),
                    i == 0 ? systemHeaderOf(12) : Bytes{}, packet});
    }
    World w;
    w.env.options.details = false;
    w.pass(file, kReadPass);
    EXPECT_EQ(w.cat.VideoSlots[0].entry(), 0xE0);
    EXPECT_EQ(w.cat.AudioSlots[0].entry(), 0x80);
    EXPECT_EQ(w.cat.SubSlots[0].entry(), 0x20);
    EXPECT_EQ(w.cat.EarliestPTS, k32 + 90000);

    std::array<MemoryStream*, 3> outs{};
    std::array<std::unique_ptr<Stream>*, 3> slots = {&w.io.VideoOut[0], &w.io.AudioOut[0],
                                                     &w.io.SubOut[0]};
    for (size_t k = 0; k < 3; ++k) {
        auto out = std::make_unique<MemoryStream>();
        outs[k] = out.get();
        *slots[k] = std::move(out);
    }
    w.pass(file, kDemuxPass);
    EXPECT_EQ(outs[0]->data, video);
    EXPECT_EQ(outs[1]->data, audio);
    EXPECT_EQ(outs[2]->data, sup);
}

} // namespace
} // namespace qf::test
