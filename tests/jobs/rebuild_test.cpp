#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "job_fixture.h"
#include "jobs/control.h"
#include "jobs/rebuild.h"
#include "support/memory_stream.h"
#include "support/slot_entries.h"

namespace qf::test {
namespace {

// One PES packet in a 2048-byte pack, padded to size.
Bytes pack(const Pes& pes) {
    Bytes p = packHeader();
    const Bytes pkt = pesBytes(pes);
    p.insert(p.end(), pkt.begin(), pkt.end());
    const Bytes pad = paddingPacket(kPackSize - p.size());
    p.insert(p.end(), pad.begin(), pad.end());
    return p;
}

Bytes substreamPack(uint8_t id, uint8_t fill = 0x11) {
    Pes pes;
    pes.streamId = 0xBD;
    pes.pts = 90000;
    pes.subHeader = (id >= 0x20 && id <= 0x7F) ? subHeaderSub(id) : subHeaderAudio(id);
    pes.payload.assign(200, fill);
    return pack(pes);
}

Bytes vc1Pack(uint8_t ext, bool dts, bool pstd) {
    Pes pes;
    pes.streamId = 0xFD;
    pes.pts = 90000;
    if (dts) pes.dts = 86400;
    pes.streamIdExt = ext;
    pes.pstd = pstd;
    pes.payload.assign(300, 0x22);
    return pack(pes);
}

Bytes streamPack(uint8_t streamId) {
    Pes pes;
    pes.streamId = streamId;
    pes.pts = 90000;
    pes.payload.assign(300, 0x33);
    return pack(pes);
}

Bytes with(Bytes b, size_t offset, uint8_t value) {
    b.at(offset) = value;
    return b;
}

// Rewrites, block by block, private-stream-1 sub-stream ids by `ids` (dropping the packs
// of ids mapped to 0) and the bounds of system headers: the expected rebuild of titles
// made only of packs whose first packet is a system header or a private-stream-1 packet.
Bytes renumbered(const Bytes& src, const std::map<uint8_t, uint8_t>& ids, int audioBound,
                 int videoBound) {
    Bytes out;
    for (size_t at = 0; at < src.size(); at += kPackSize) {
        Bytes blk(src.begin() + at, src.begin() + std::min(src.size(), at + kPackSize));
        if (blk[17] == 0xBB) {
            blk[23] = static_cast<uint8_t>((blk[23] & 0x03) | (audioBound << 2));
            blk[24] = static_cast<uint8_t>((blk[24] & 0xE0) | videoBound);
        } else if (blk[17] == 0xBD) {
            uint8_t& q = blk[23 + blk[22]];
            if (auto it = ids.find(q); it != ids.end()) {
                if (it->second == 0) continue;
                q = it->second;
            }
        }
        out.insert(out.end(), blk.begin(), blk.end());
    }
    return out;
}

class RebuildWriterTest : public ::testing::Test {
protected:
    RecordingEvents host;
    JobRunner ctx{host};
    JobRequest request;
    RebuildState st;
    MemoryStream* out = nullptr;

    // Puts a stream into the catalogue and chooses it or not: family 0 video, 1 audio, 2 sub.
    void stream(int family, int slot, int32_t id, bool ticked) {
        const auto f = static_cast<Family>(family);
        ctx.cat.slotTable(f)[static_cast<size_t>(slot)] = metEntry(id);
        tick(f, slot, ticked);
    }
    void tick(Family f, int slot, bool on) {
        request.selection.at(f, static_cast<size_t>(slot)).checked = on;
    }
    void setSource(const Bytes& src, int64_t claimedSize = -1) {
        auto s = std::make_unique<MemoryStream>();
        s->data = src;
        if (claimedSize >= 0) s->reportedSize = claimedSize;
        ctx.io.SourceStream = std::move(s);
        auto o = std::make_unique<MemoryStream>();
        out = o.get();
        st.RebuiltOut = std::move(o);
        st.SourceName = "X.EVO";
    }
    Bytes run(const Bytes& src) {
        setSource(src);
        ctx.job = request;
        Rebuild(ctx, st);
        return out->data;
    }
};

TEST_F(RebuildWriterTest, AllSelectedCopiesEverythingButTheBounds) {
    PsMuxer m;
    m.add(vc1Track(vc1Units(40)));
    m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), 20), subHeaderAudio(0xC0)));
    m.add(subTrack(0x20, subUnits(4)));
    const Bytes src = m.build(true, 2, 2);
    stream(0, 0, 0x55, true);
    stream(1, 0, 0xC0, true);
    stream(2, 0, 0x20, true);

    Bytes expected = src;
    int navs = 0;
    for (size_t at = 0; at < expected.size(); at += kPackSize) {
        if (expected[at + 17] != 0xBB) continue;
        ++navs;
        expected[at + 23] = 0x05; // audio_bound 1, CSPS kept
        expected[at + 24] = 0xE1; // lock flags and marker kept, video_bound 1
    }
    ASSERT_GT(navs, 1);
    EXPECT_EQ(run(src), expected);
    EXPECT_EQ(st.KeptVideoCount, 1);
    EXPECT_EQ(st.KeptAudioCount, 1);
    EXPECT_EQ(st.KeptSubpictureCount, 1);
    EXPECT_TRUE(ctx.control.writing());
}

TEST_F(RebuildWriterTest, OnlyTheSecondOfTwoEac3StreamsBecomesTheFirst) {
    PsMuxer m;
    m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), 10), subHeaderAudio(0xC0)));
    m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), 10), subHeaderAudio(0xC1)));
    const Bytes src = m.build(true, 2, 0);
    stream(1, 0, 0xC0, false);
    stream(1, 1, 0xC1, true);
    EXPECT_EQ(run(src), renumbered(src, {{0xC0, 0}, {0xC1, 0xC0}}, 1, 0));
}

TEST_F(RebuildWriterTest, IdsAreFoundWhereTheHeaderLayoutPutsThem) {
    const Bytes ptsDts = vc1Pack(0x56, true, false), withPstd = vc1Pack(0x56, true, true),
                ptsOnly = vc1Pack(0x56, false, false), audio = substreamPack(0xC3);
    ASSERT_EQ(ptsDts[35], 0x56);
    ASSERT_EQ(withPstd[37], 0x56);
    ASSERT_EQ(ptsOnly[30], 0x56);
    ASSERT_EQ(audio[22], 5);
    ASSERT_EQ(audio[28], 0xC3);
    stream(0, 1, 0x56, true);
    stream(1, 3, 0xC3, true);

    const Bytes src = concat({ptsDts, withPstd, ptsOnly, audio});
    EXPECT_EQ(run(src), concat({with(ptsDts, 35, 0x55), with(withPstd, 37, 0x55),
                                with(ptsOnly, 30, 0x55), with(audio, 28, 0xC0)}));

    st.reset();
    tick(Family::Video, 1, false);
    EXPECT_EQ(run(src), with(audio, 28, 0xC0));
}

TEST_F(RebuildWriterTest, SystemHeaderBoundsCountTheTickedBoxes) {
    const Bytes nav = navPack(3, 2);
    ASSERT_EQ(nav[23], 0x0D);
    ASSERT_EQ(nav[24], 0xE2);
    tick(Family::Audio, 5, true);
    tick(Family::Video, 1, true);
    const Bytes got = run(nav);
    EXPECT_EQ(got, with(with(nav, 23, 0x05), 24, 0xE1));
}

TEST_F(RebuildWriterTest, KeptStreamsAreNumberedUpwardPerKind) {
    EXPECT_FALSE(AudioPackDropped(ctx, st, 0xC2));
    EXPECT_FALSE(AudioPackDropped(ctx, st, 0x8A));
    EXPECT_FALSE(AudioPackDropped(ctx, st, 0xC2)); // already numbered: no new number
    EXPECT_FALSE(AudioPackDropped(ctx, st, 0xD5));
    EXPECT_EQ(st.RebuildIdMap[0xC2], 0xC0);
    EXPECT_EQ(st.RebuildIdMap[0x8A], 0x89);
    EXPECT_EQ(st.RebuildIdMap[0xD5], 0xD2);
    EXPECT_EQ(st.KeptAudioCount, 3);

    EXPECT_FALSE(VideoPackDropped(ctx, st, 0x56));
    EXPECT_FALSE(VideoPackDropped(ctx, st, 0xE0));
    EXPECT_EQ(st.RebuildIdMap[0x56], 0x55);
    EXPECT_EQ(st.RebuildIdMap[0xE0], 0xE1);
    RebuildState other;
    other.reset();
    EXPECT_FALSE(VideoPackDropped(ctx, other, 0xE1));
    EXPECT_FALSE(VideoPackDropped(ctx, other, 0x55));
    EXPECT_EQ(other.RebuildIdMap[0xE1], 0xE0);
    EXPECT_EQ(other.RebuildIdMap[0x55], 0x56);

    EXPECT_FALSE(SubpicturePackDropped(ctx, st, 0x25));
    EXPECT_FALSE(SubpicturePackDropped(ctx, st, 0x23));
    EXPECT_EQ(st.RebuildIdMap[0x25], 0x20);
    EXPECT_EQ(st.RebuildIdMap[0x23], 0x21);

    stream(1, 4, 0xC4, false);
    EXPECT_TRUE(AudioPackDropped(ctx, st, 0xC4));
    EXPECT_EQ(st.RebuildIdMap[0xC4], 0xFF);
    EXPECT_EQ(st.KeptAudioCount, 3);
    EXPECT_TRUE(InRange(0xC8, 0xC0, 0xC8) && InRange(0xC0, 0xC0, 0xC8));
    EXPECT_FALSE(InRange(0xC9, 0xC0, 0xC8));
}

TEST_F(RebuildWriterTest, OtherStreamsFollowTheirBoxesAndKeepTheirIds) {
    stream(1, 0, 0x80, false); // AC-3, unticked: dropped
    stream(1, 1, 0xA1, true);  // LPCM, ticked: kept as it is
    stream(2, 1, 0x61, false); // extended subpicture, unticked: dropped
    stream(2, 3, 0x63, true);  // extended subpicture, ticked: renumbered among its kind
    stream(2, 2, 0x22, true);  // subpicture: renumbered
    stream(1, 9, 0xC9, false); // E-AC-3 past 0xC8, unticked: dropped
    const Bytes ac3 = substreamPack(0x80), lpcm = substreamPack(0xA1), eac3 = substreamPack(0xC9),
                dts = substreamPack(0x89), // in no slot (slot 1 is taken): kept, renumbered
        ext = substreamPack(0x61), ext3 = substreamPack(0x63),
                far = substreamPack(0x35), // slot 21 has no box: kept, renumbered
        sub = substreamPack(0x22), vc1Other = vc1Pack(0x22, false, false);
    ASSERT_EQ(vc1Other[30], 0x22);
    const Bytes src = concat({ac3, lpcm, eac3, dts, ext, ext3, far, sub, vc1Other});
    // An extended stream that is not VC-1 keeps its id even where another stream's
    // number would match it.
    EXPECT_EQ(run(src), concat({lpcm, with(dts, 28, 0x88), with(ext3, 28, 0x60),
                                with(far, 28, 0x20), with(sub, 28, 0x21), vc1Other}));
}

// MPEG audio and the E-AC-3 sub-stream of the same value are two streams with two boxes;
// kept MPEG audio and video packs carry their new ids in the packet's own stream id.
TEST_F(RebuildWriterTest, MpegAudioFollowsItsOwnBoxAndIsRenumbered) {
    stream(1, 0, 0xC0, true);
    stream(1, 1, entryOf({Carrier::PesId, 0xC0}), false);
    stream(1, 2, entryOf({Carrier::PesId, 0xC3}), true);
    stream(0, 1, 0xE1, true);
    const Bytes eac3 = substreamPack(0xC0), mpa0 = streamPack(0xC0), mpa3 = streamPack(0xC3),
                video = streamPack(0xE1), eac3Last = substreamPack(0xC8);
    EXPECT_EQ(
        run(concat({eac3, mpa0, mpa3, video, eac3Last})),
        concat({eac3, with(mpa3, 17, 0xC1), with(video, 17, 0xE0), with(eac3Last, 28, 0xC2)}));

    // A stream that found its family full has no box and is never kept.
    st.reset();
    ctx.cat.clearSlots();
    ctx.cat.Slots.clear();
    for (int32_t id : {0xE0, 0xE1}) ctx.cat.Slots.claim(id, Family::Video, id & 1);
    ctx.cat.Slots.claim(0xE2, Family::Video, 0);
    EXPECT_EQ(run(concat({streamPack(0xE2), eac3})), eac3);
}

TEST_F(RebuildWriterTest, PlaylistMarkersKeepAndRenumberEveryHandledStream) {
    ctx.cat.VideoSlots[0] = SlotEntry::listedByPlaylist();
    ctx.cat.AudioSlots[0] = SlotEntry::listedByPlaylist();
    ctx.cat.AudioSlots[1] = SlotEntry::listedByPlaylist();
    tick(Family::Audio, 0, true);
    const Bytes a = substreamPack(0xC1), b = substreamPack(0xC0), nav = navPack(2, 1);
    EXPECT_EQ(run(concat({nav, a, b})),
              concat({with(with(nav, 23, 0x05), 24, 0xE0), with(a, 28, 0xC0), with(b, 28, 0xC1)}));
}

TEST_F(RebuildWriterTest, ShortLastBlockIsWrittenAsReadAndSeesNoStaleBytes) {
    stream(0, 1, 0xE1, false); // the full block before is dropped ...
    const Bytes tail = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01};
    // ... and the short block must not inherit its stream id from the buffer.
    EXPECT_EQ(run(concat({streamPack(0xE1), tail})), tail);
}

TEST_F(RebuildWriterTest, BlocksWithoutPackHeaderAreSkippedAndCounted) {
    Bytes src(100, 0x00);
    for (int i = 0; i < 3; ++i) {
        const Bytes p = substreamPack(0xC0);
        src.insert(src.end(), p.begin(), p.end());
    }
    EXPECT_TRUE(run(src).empty());
    EXPECT_EQ(st.SkippedBlocks, 4);
}

TEST_F(RebuildWriterTest, ProgressAndMessagesEveryFourMebibytes) {
    Bytes src;
    const Bytes nav = navPack();
    for (int i = 0; i < 2048; ++i) src.insert(src.end(), nav.begin(), nav.end());
    ASSERT_EQ(src.size(), 4u * 1024 * 1024);
    EXPECT_EQ(run(src).size(), src.size());
    EXPECT_EQ(host.pumps, 1);
    EXPECT_EQ(host.status1, (Lines{"Rebuilding X.EVO 4/4 Mbytes, Remaining time: 0:00:01"}));
}

TEST_F(RebuildWriterTest, CancelEndsTheRunAfterTheBlockOfThePump) {
    Bytes src;
    const Bytes p = substreamPack(0xC0);
    for (int i = 0; i < 3000; ++i) src.insert(src.end(), p.begin(), p.end());
    int asked = 0;
    host.onPump = [&] {
        requestCancel(ctx.control, [&] {
            ++asked;
            return true;
        });
    };
    EXPECT_EQ(run(src).size(), 2048u * kPackSize);
    EXPECT_EQ(asked, 1); // the pass writes: the user is asked first
    EXPECT_TRUE(ctx.control.stopRequested());
}

TEST_F(RebuildWriterTest, FailuresEndTheRun) {
    const Bytes src = concat({substreamPack(0xC0), substreamPack(0xC0), substreamPack(0xC0)});
    setSource(src);
    out->failAfter = 2 * kPackSize;
    try {
        ctx.job = request;
        Rebuild(ctx, st);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(out->data.size(), 2 * kPackSize);
    EXPECT_FALSE(host.running);

    // A source that stops delivering before its end must not keep the run spinning.
    setSource(src, 10 * kPackSize);
    ctx.job = request;
    EXPECT_THROW(Rebuild(ctx, st), Error);

    EXPECT_TRUE(run({}).empty());
    EXPECT_TRUE(host.status1.empty());
}

// ---------------------------------------------------------------------------------------
// The Rebuild job.

Bytes eac3Title(std::initializer_list<uint8_t> ids, int units = 4) {
    PsMuxer m;
    for (uint8_t id : ids)
        m.add(audioTrack(repeatUnit(sample("eac3_51.eac3"), units), subHeaderAudio(id)));
    return m.build();
}

class RebuildJobTest : public JobTest {
protected:
    Bytes part1, part2;
    void makeTitle(bool secondPart) {
        part1 = eac3Title({0xC1});
        part2 = eac3Title({0xC1, 0xC3});
        writeFile(dir / "FEATURE_1.EVO", part1);
        if (secondPart) writeFile(dir / "FEATURE_2.EVO", part2);
        choose(dir / "FEATURE_1.EVO");
        bench.read();
        host.lines.clear();
        host.status0.clear();
    }
    std::string rebuildError() {
        try {
            bench.rebuild();
        } catch (const Error& e) {
            return e.what();
        }
        return "no error";
    }
    void expectCleanedUp() {
        EXPECT_FALSE(ctx.io.SourceStream);
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(host.running);
        EXPECT_EQ(countLines("Done."), 0);
    }
};

TEST_F(RebuildJobTest, TwoPartTitleGoesIntoOneFileAndKeepsTheNumbers) {
    makeTitle(true);
    bench.rebuild();
    const std::string target = dir / "FEATURE_1_FEATURE_2.rebuilt.EVO";
    EXPECT_EQ(host.lines, (Lines{"Opening file FEATURE_1.EVO", "File size: 0 Mbytes.",
                                 "Creating " + target, "Continue on FEATURE_2.EVO", "Done.", ""}));
    EXPECT_EQ(host.status0,
              (Lines{"Opening", "Rebuilding FEATURE_1.EVO", "Rebuilding FEATURE_2.EVO", "Ready"}));
    EXPECT_TRUE(host.status1.empty() || host.status1.back().empty());
    // 0xC1 became 0xC0 in the first part and stays so; 0xC3, new in the second, is next.
    EXPECT_EQ(readFile(target), concat({renumbered(part1, {{0xC1, 0xC0}}, 2, 0),
                                        renumbered(part2, {{0xC1, 0xC0}, {0xC3, 0xC1}}, 2, 0)}));
    EXPECT_FALSE(ctx.io.SourceStream);
    EXPECT_FALSE(ctx.busy);
}

TEST_F(RebuildJobTest, ContinueUncheckedRebuildsTheFirstPartAlone) {
    makeTitle(true);
    request.allParts = false;
    request.workdir = dir.path + "/";
    tick(Family::Audio, 3, false);
    bench.rebuild();
    EXPECT_EQ(countLines("Continue on"), 0);
    EXPECT_EQ(readFile(dir / "FEATURE_1.rebuilt.EVO"), renumbered(part1, {{0xC1, 0xC0}}, 1, 0));
}

TEST_F(RebuildJobTest, UnalignedSourceIsReported) {
    Bytes src(1000, 0x00);
    const Bytes t = eac3Title({0xC0});
    src.insert(src.end(), t.begin(), t.end());
    writeFile(dir / "ODD.EVO", src);
    choose(dir / "ODD.EVO");
    bench.rebuild();
    EXPECT_TRUE(hasLine("Blocks without pack header skipped: " +
                        std::to_string((src.size() + kPackSize - 1) / kPackSize)));
    EXPECT_TRUE(readFile(dir / "ODD.rebuilt.EVO").empty());
}

TEST_F(RebuildJobTest, MissingSource) {
    makeTitle(false);
    std::filesystem::remove(dir / "FEATURE_1.EVO");
    EXPECT_EQ(rebuildError(),
              "Cannot open file \"" + dir / "FEATURE_1.EVO" + "\". No such file or directory");
    EXPECT_EQ(host.lines, (Lines{"Opening file FEATURE_1.EVO"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    expectCleanedUp();
}

TEST_F(RebuildJobTest, DiskFull) {
    makeTitle(false);
    test::FileSizeLimit limit(100);
    EXPECT_EQ(rebuildError(),
              "Stream write error: \"" + dir / "FEATURE_1.rebuilt.EVO" + "\". File too large.");
    EXPECT_EQ(readFile(dir / "FEATURE_1.EVO"), part1);
    expectCleanedUp();
}

TEST_F(RebuildJobTest, CancelSkipsTheSecondPart) {
    PsMuxer m;
    m.add(audioTrack(repeatUnit(Bytes(1900, 0x77), 2200), subHeaderAudio(0xC0)));
    writeFile(dir / "FEATURE_1.EVO", m.build());
    writeFile(dir / "FEATURE_2.EVO", eac3Title({0xC0}));
    choose(dir / "FEATURE_1.EVO");
    bench.read();
    host.lines.clear();
    int asked = 0;
    host.onPump = [&] {
        requestCancel(ctx.control, [&] {
            ++asked;
            return true;
        });
    };
    bench.rebuild();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(countLines("Continue on"), 0);
    const Lines lines = plainLines();
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"Cancelled: FEATURE_1_FEATURE_2.rebuilt.EVO is incomplete.", ""}));
    EXPECT_EQ(countLines("Done."), 0);
    EXPECT_EQ(readFile(dir / "FEATURE_1_FEATURE_2.rebuilt.EVO").size(), 2048u * kPackSize);
}

} // namespace
} // namespace qf::test
