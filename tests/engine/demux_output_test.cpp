// The program-stream pass: frame counting, and what a demux pass writes (whole muxed
// titles, subpicture records, many runs in a block, a write error).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/demux.h"
#include "engine/demux_fixture.h"

namespace qf::test {
namespace {

class DemuxOutput : public ::testing::Test, protected PassBench {};

// ---------------------------------------------------------------------------------------
// Frame counting

TEST_F(DemuxOutput, FramesAreCountedWithThePatternOfTheVideoKind) {
    const Bytes mpeg2 = cat({frames(0xB3, 1), frames(0x00, 2), frames(0x09, 1)});
    const Bytes h264 = cat({frames(0x09, 4), frames(0x00, 1)});
    const Bytes file = cat({pes(0xE0, mpeg2), pes(0xE3, h264)});
    readPass(file);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{2, 4}));
    readPass(vc1(0x56, cat({frames(0x0D, 3), frames(0x00, 1)})));
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{2, 7})) << "counts run on across passes";

    ctx.cat.FrameCount = {0, 0};
    ctx.job.pass.countFrames = false;
    readPass(file);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{0, 0}));

    ctx.job.pass.countFrames = true;
    out(V, 0);
    tick(V, 1); // ticked without an output file
    demuxPass(file);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{2, 0})) << "only written slots count";
}

TEST_F(DemuxOutput, PatternSplitBetweenPacketsCountsOnce) {
    // Twelve frames of each kind, every start code cut between two packets at one of its
    // three inner points, with other streams' packets in between: the window runs on from
    // one run of the slot to the next.
    struct Kind {
        uint8_t code;
        std::function<Bytes(Bytes)> packet;
    };
    const Kind kinds[] = {{0x00, [](Bytes b) { return pes(0xE0, std::move(b)); }},
                          {0x09, [](Bytes b) { return pes(0xE2, std::move(b)); }},
                          {0x0D, [](Bytes b) { return vc1(0x55, std::move(b)); }}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(int(k.code));
        const Bytes code = {0x00, 0x00, 0x01, k.code};
        Bytes file;
        Bytes carry = data(5);
        for (int f = 0; f < 12; ++f) {
            const long cut = 1 + f % 3;
            Bytes head = cat({carry, Bytes(code.begin(), code.begin() + cut)});
            file = cat({file, k.packet(head), pes(0xE1, {0x00, 0x00}), priv(0x80, {0x00, 0x01})});
            carry = cat({Bytes(code.begin() + cut, code.end()), data(6)});
        }
        file = cat({file, k.packet(carry)});
        ctx.cat.FrameCount = {0, 0};
        readPass(file);
        EXPECT_EQ(ctx.cat.FrameCount[0], 12);
    }
    // A pass starts the window empty: "01 00" at the start of a first run is no picture.
    ctx.cat.FrameCount = {0, 0};
    readPass(cat({pes(0xE0, {0x01, 0x00, 0x20}), pes(0xE0, {0x00, 0x01, 0x00})}));
    EXPECT_EQ(ctx.cat.FrameCount[0], 0);
}

// ---------------------------------------------------------------------------------------
// Output

TEST_F(DemuxOutput, MuxedTitleComesBackUnchanged) {
    // Whole packs with navigation packs, padding and multi-packet units.
    std::vector<Bytes> pictures, frames3, subs;
    for (int i = 0; i < 12; ++i)
        pictures.push_back(cat({frames(0x00, 1), data(30000, uint8_t(i))}));
    for (int i = 0; i < 40; ++i) frames3.push_back(cat({{0x0B, 0x77}, data(700, uint8_t(i))}));
    for (int i = 0; i < 3; ++i) subs.push_back(cat({{0x00, 0x00}, data(2500, uint8_t(i))}));
    PsMuxer mux;
    PsMuxer::Track v;
    v.streamId = 0xE0, v.units = pictures, v.withDts = true;
    mux.add(v);
    PsMuxer::Track a;
    a.streamId = 0xBD, a.subHeader = subHeaderAudio(0x82), a.units = frames3, a.ptsStart = 89000;
    mux.add(a);
    PsMuxer::Track s;
    s.streamId = 0xBD, s.subHeader = subHeaderSub(0x2A), s.units = subs, s.ptsStart = 95000;
    s.ptsStep = 90000;
    mux.add(s);
    const Bytes ps = mux.build(true, 1, 1);
    ASSERT_GT(ps.size(), kBlockSize);

    readPass(ps);
    EXPECT_EQ(
        engineLines(),
        (Lines{"It contains 1 video stream and 1 audio stream.", "MPEG-2 video stream 0 found!",
               "Dolby Digital audio stream 2 found!", "Subpicture stream 10 found!"}));
    EXPECT_EQ(ctx.cat.FrameCount[0], 12);
    EXPECT_EQ(ctx.cat.EarliestPTS, 89000u);

    MemoryStream &v0 = out(V, 0), &a2 = out(A, 2), &s10 = out(S, 10);
    demuxPass(ps);
    Bytes sup;
    for (size_t i = 0; i < subs.size(); ++i)
        sup = cat({sup, spHeader(static_cast<uint32_t>(95000 + 90000 * i - 89000)), subs[i]});
    EXPECT_EQ(v0.data, [&] {
        Bytes all;
        for (const Bytes& u : pictures) all = cat({all, u});
        return all;
    }());
    EXPECT_EQ(a2.data.size(), 40u * 702);
    EXPECT_EQ(s10.data, sup);
}

TEST_F(DemuxOutput, SubpictureRecords) {
    struct Case {
        const char* what;
        uint64_t earliest;
        Bytes file;
        Bytes slot0, slot1;
    };
    const Bytes A = data(5, 1), B = data(6, 2), C = data(7, 3);
    const std::vector<Case> cases = {
        {"the 53 50 45 23 example",
         0x10000,
         priv(0x20, A, 0x12345),
         cat({spHeader(0x2345), A}),
         {}},
        {"no audio or video time: unshifted",
         0xFFFFFFFF,
         priv(0x20, A, 0x12345),
         cat({spHeader(0x12345), A}),
         {}},
        {"relative time 0 still opens a record",
         0x12345,
         priv(0x20, A, 0x12345),
         cat({spHeader(0), A}),
         {}},
        {"a packet without PTS continues the record",
         0,
         cat({priv(0x20, A, 0x100), priv(0x20, B)}),
         cat({spHeader(0x100), A, B}),
         {}},
        {"another stream's PTS never opens a record", 0,
         cat({pes(0xE0, C, 0x300, 0x200), priv(0x20, A), priv(0x20, B, 0x400),
              pes(0xE0, C, 0x500, 0x400), priv(0x60, A)}),
         cat({A, spHeader(0x400), B}), A},
        {"a packet of only its sub-stream id opens an empty record",
         0xFFFFFFFF,
         cat({priv(0x20, {0xAA, 0xAA}, 0x1000), priv(0x20, {}, 0x2000), priv(0x20, {0xCC, 0xCC})}),
         {0x53, 0x50, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xAA,
          0x53, 0x50, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xCC, 0xCC},
         {}},
        {"two streams keep their own records", 0x50,
         cat({priv(0x20, A, 0x100), priv(0x61, B, 0x200), priv(0x20, C), priv(0x61, A, 0x300)}),
         cat({spHeader(0xB0), A, C}), cat({spHeader(0x1B0), B, spHeader(0x2B0), A})},
        {"an unticked slot's time stamp is not passed on",
         0,
         cat({priv(0x22, A, 0x100), priv(0x21, B)}),
         {},
         B},
        {"slots above 15 are never written", 0, priv(0x30, A, 0x100), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ctx.io.closeOutputs();
        ctx.cat.Slots.clear();
        MemoryStream &s0 = out(S, 0), &s1 = out(S, 1);
        ctx.cat.EarliestPTS = c.earliest;
        demuxPass(c.file);
        EXPECT_EQ(s0.data, c.slot0);
        EXPECT_EQ(s1.data, c.slot1);
    }
}

// Runs and record headers of one block are gathered per output and written in bunches:
// more of them than one bunch holds come out whole and in order.
TEST_F(DemuxOutput, ManyRecordsAndRunsInOneBlock) {
    Bytes file, sup, video;
    for (uint32_t i = 0; i < 300; ++i) {
        const auto seed = static_cast<uint8_t>(i);
        file = cat({file, priv(0x20, data(5, seed), 0x1000 + i), pes(0xE0, data(7, seed))});
        sup = cat({sup, spHeader(0x1000 + i), data(5, seed)});
        video = cat({video, data(7, seed)});
    }
    ASSERT_LT(file.size(), kBlockSize);
    MemoryStream &s0 = out(S, 0), &v0 = out(V, 0);
    ctx.cat.EarliestPTS = 0xFFFFFFFF;
    demuxPass(file);
    EXPECT_EQ(s0.data, sup);
    EXPECT_EQ(v0.data, video);
}

TEST_F(DemuxOutput, WriteErrorEndsThePass) {
    MemoryStream& v0 = out(V, 0);
    v0.failAfter = 10;
    try {
        demuxPass(cat({pes(0xE0, data(100)), pes(0xE0, data(100))}));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(v0.writes, 0);
    EXPECT_FALSE(host.running);
}

} // namespace
} // namespace qf::test
