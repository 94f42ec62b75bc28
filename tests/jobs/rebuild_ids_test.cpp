// The ids the rebuild writer gives the kept streams: by the kept count where that fits,
// else the lowest free id of the kind, never one that another kept stream has.
#include <algorithm>
#include <memory>
#include <sstream>

#include "job_fixture.h"
#include "jobs/rebuild.h"
#include "support/ffmpeg.h"
#include "support/job_bench.h"
#include "support/memory_stream.h"
#include "support/slot_entries.h"

namespace qf::test {
namespace {

// One PES packet of stream `streamId` (for private stream 1 with sub-stream `subId`) in a
// 2048-byte pack, and where its id is.
struct IdPack {
    Bytes bytes;
    size_t idAt = 0;
};

IdPack idPack(uint8_t streamId, uint8_t subId = 0) {
    Pes pes;
    pes.streamId = streamId;
    pes.pts = 90000;
    if (streamId == 0xBD)
        pes.subHeader = subId < 0x80 ? subHeaderSub(subId) : subHeaderAudio(subId);
    if (streamId == 0xFD) pes.streamIdExt = subId;
    pes.payload.assign(200, 0x11);
    IdPack p{packHeader(), 0};
    const Bytes pkt = pesBytes(pes);
    p.bytes.insert(p.bytes.end(), pkt.begin(), pkt.end());
    const Bytes pad = paddingPacket(kPackSize - p.bytes.size());
    p.bytes.insert(p.bytes.end(), pad.begin(), pad.end());
    p.idAt = streamId == 0xBD ? 23 + p.bytes[22] : streamId == 0xFD ? 30 : 17;
    return p;
}

// A stream of the test title: its packet's stream id, its own id, the id it must have in
// the rebuilt file.
struct Kept {
    uint8_t streamId, id, rebuilt;
};
constexpr uint8_t kSub = 0xBD, kMpa = 0xCB, kVc1 = 0xFD;

std::vector<Kept> eac3Run(uint8_t from, uint8_t to, int shift) {
    std::vector<Kept> run;
    for (int id = from; id <= to; ++id)
        run.push_back({kSub, static_cast<uint8_t>(id), static_cast<uint8_t>(id + shift)});
    return run;
}

std::vector<Kept> join(std::initializer_list<std::vector<Kept>> parts) {
    std::vector<Kept> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(RebuildIds, KeptStreamsGetAFreeIdOfTheirKind) {
    const std::vector<Kept> dtsAfterEight =
        join({{{kSub, 0x88, 0x88}}, eac3Run(0xC0, 0xC6, 1), {{kSub, 0x89, 0x89}}});
    const std::string dtsLine =
        "Stream id 89 (DTS) gets id 89 in the rebuilt file: 88 belongs to another kept stream.";
    const struct {
        const char* name;
        std::vector<Kept> streams; // in the order their first packs come
        int32_t ticked = -1;       // a catalogue entry in audio slot 9, ticked
        Lines log;
    } cases[] = {
        {"the kept count where it fits",
         {{kSub, 0x8A, 0x88}, {kSub, 0xC3, 0xC1}, {kSub, 0x8C, 0x8A}},
         -1,
         {}},
        // The count 8 gives the DTS base 0x88 again.
        {"DTS after eight renumbered audio streams", dtsAfterEight, -1, {dtsLine}},
        // The count 9 gives 0xC9, past the ids E-AC-3 is renumbered to.
        {"E-AC-3 after nine",
         join({dtsAfterEight, {{kSub, 0xC7, 0xC0}}}),
         -1,
         {dtsLine, "Stream id C7 (E-AC-3) gets id C0 in the rebuilt file: C9 is outside C0 to "
                   "C8, the ids it may be renumbered to."}},
        // A kept stream that keeps its id has it from the start, though its packs come
        // last; the ids of every carrier are one space.
        {"the id of a stream kept as it is",
         join({{{kSub, 0x88, 0x88}},
               eac3Run(0xC0, 0xC7, 1),
               {{kMpa, 0xCB, 0xC0}},
               {{kSub, 0xC9, 0xC9}}}),
         0xC9,
         {"Stream id CB (MPEG audio) gets id C0 in the rebuilt file: C9 belongs to another "
          "kept stream."}},
        // A third video stream, which no read gave a slot, is kept and numbered on.
        {"video past its ids",
         {{kVc1, 0x55, 0x55}, {kVc1, 0x56, 0x56}, {0xE0, 0xE0, 0xE0}},
         -1,
         {"Stream id E0 (MPEG-2) gets id E0 in the rebuilt file: E2 is outside E0 to E1, the "
          "ids it may be renumbered to."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingEvents host;
        JobRunner ctx{host};
        if (c.ticked >= 0) {
            ctx.cat.AudioSlots[9] = metEntry(c.ticked);
            ctx.job.selection.at(Family::Audio, 9).checked = true;
        }
        Bytes src, expected;
        for (const Kept& k : c.streams) {
            IdPack p = idPack(k.streamId == kMpa ? k.id : k.streamId, k.id);
            src.insert(src.end(), p.bytes.begin(), p.bytes.end());
            p.bytes[p.idAt] = k.rebuilt;
            expected.insert(expected.end(), p.bytes.begin(), p.bytes.end());
        }
        ctx.io.SourceStream = std::make_unique<MemoryStream>(src);
        auto out = std::make_unique<MemoryStream>();
        MemoryStream& written = *out;
        RebuildState st;
        st.RebuiltOut = std::move(out);
        Rebuild(ctx, st);
        EXPECT_EQ(written.data, expected);
        Lines log;
        for (const auto& l : host.lines) log.push_back(plainText(l));
        EXPECT_EQ(log, c.log);
    }
}

TEST(RebuildIds, WithoutAFreeIdAStreamKeepsItsOwn) {
    RecordingEvents host;
    JobRunner ctx{host};
    RebuildState st;
    std::fill(st.IdTaken.begin() + 0x88, st.IdTaken.begin() + 0x90, true);
    EXPECT_FALSE(AudioPackDropped(ctx, st, 0x8A));
    EXPECT_EQ(st.RebuildIdMap[0x8A], 0x8A);
    EXPECT_EQ(host.lines, (Lines{"Stream id 8A (DTS) keeps its id in the rebuilt file: no id "
                                 "from 88 to 8F is free."}));
}

// ffprobe lists each kept stream of a rebuilt title once: no two have one id.
TEST(RebuildIds, FfprobeListsEveryKeptStreamOnce) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const Bytes ac3 = sample("ac3_48k_448k_51.ac3"), dts = sample("dts_48k_768k_51.dts"),
                eac3 = sample("eac3_51.eac3");
    const struct {
        const char* name;
        std::vector<uint8_t> ids; // sub-streams in the order their first packs come
    } cases[] = {
        // Ten audio streams of three codecs: the second DTS stream is the ninth renumbered.
        {"ten", {0x88, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0x89, 0x80}},
        // The tenth renumbered, E-AC-3, comes after nine; another keeps 0xC9.
        {"twelve", {0x88, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0x89, 0xC7, 0xC9, 0x80}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        PsMuxer m;
        for (uint8_t id : c.ids) {
            const Bytes& unit = id >= 0xC0 ? eac3 : id >= 0x88 ? dts : ac3;
            m.add(audioTrack(repeatUnit(unit, 6), subHeaderAudio(id))); // packs in turn
        }
        writeFile(dir / "TITLE.EVO", m.build(true, 8, 0));
        JobBench b;
        streamFilesOnly(b.request.output);
        b.choose(dir / "TITLE.EVO");
        b.read();
        b.rebuild();

        const std::string listed = ffprobe(
            dir.path, "-select_streams a -show_entries stream=id -of csv=p=0 TITLE.rebuilt.EVO");
        std::istringstream in(listed);
        std::vector<std::string> ids;
        for (std::string line; std::getline(in, line);) ids.push_back(line);
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids.size(), c.ids.size()) << listed;
        EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << listed;
    }
}

} // namespace
} // namespace qf::test
