// The program-stream pass over blocks: every place a block boundary can fall, and the
// block loop (system header line, progress, cancel, read errors, the fast check).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/blockpass.h"
#include "engine/demux.h"
#include "engine/demux_fixture.h"
#include "jobs/control.h"
#include "support/slot_entries.h"

namespace qf::test {
namespace {

class DemuxLoop : public ::testing::Test, protected PassBench {};

// ---------------------------------------------------------------------------------------
// Block boundaries

// Private-stream-1 packets of an ignored sub-stream, `total` bytes in all: the runs of
// their payload are jumped over, so the test can place data anywhere cheaply.
Bytes filler(size_t total) {
    Bytes out;
    while (total > 0) {
        size_t t = std::min<size_t>(total, 60000);
        if (total - t > 0 && total - t < 10) t -= 10;
        Bytes p = {
            0x00, 0x00, 0x01, 0xBD, static_cast<uint8_t>((t - 6) >> 8), static_cast<uint8_t>(t - 6),
            0x81, 0x00, 0x00};
        p.resize(t, 0xFF);
        out.insert(out.end(), p.begin(), p.end());
        total -= t;
    }
    return out;
}

struct Probe {
    Bytes bytes;
    // Video payloads: offset in the probe, length, slot and counted code.
    struct Video {
        size_t at, size;
        int slot;
        uint8_t code;
    };
    std::vector<Video> video;
};

Probe makeProbe() {
    Probe pr;
    auto add = [&](const Bytes& packet, const Bytes& payload, int slot, uint8_t code) {
        if (slot >= 0)
            pr.video.push_back(
                {pr.bytes.size() + packet.size() - payload.size(), payload.size(), slot, code});
        pr.bytes.insert(pr.bytes.end(), packet.begin(), packet.end());
    };
    const Bytes mpeg2 = cat({frames(0xB3, 1), frames(0x00, 2), data(5)});
    const Bytes vc = cat({frames(0x0F, 1), frames(0x0D, 1)});
    const Bytes avc = cat({frames(0x09, 1), data(3)});
    add(pes(0xE0, mpeg2, 0x1000, 0xF00), mpeg2, 0, 0x00);
    add(vc1(0x56, vc, 0x2000, true), vc, 1, 0x0D);
    add(priv(0x80, cat({{0x0B, 0x77}, data(10, 1)}), 0x3000), {}, -1, 0);
    add(priv(0xA1, data(12, 2), 0x3100), {}, -1, 0);
    add(priv(0xB2, data(12, 3), 0x3200), {}, -1, 0);
    add(priv(0x21, cat({{0x00, 0x00}, data(10, 4)}), 0x4000), {}, -1, 0);
    add(priv(0x63, cat({{0x05, 0x08}, data(10, 5)}), 0x4100), {}, -1, 0);
    Bytes skipped = cat({{0x00, 0x00, 0x01, 0xBE, 0x00, 0x0E}, pes(0xE1, {0xAA}, 0x99)});
    skipped.resize(20, 0xFF);
    add(skipped, {}, -1, 0);
    add(pes(0xC0, data(10, 6), 0x5000), {}, -1, 0);
    add(pes(0xE3, avc), avc, 1, 0x09);
    return pr;
}

struct Outcome {
    Lines lines;
    std::array<SlotEntry, 16> video, audio;
    std::array<SlotEntry, 32> sub;
    uint64_t earliest;
    std::array<int32_t, 2> readFrames, demuxFrames;
    std::vector<Bytes> outputs; // video 0-1, audio 0-2, sub 1 and 3

    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    for (const auto& l : o.lines) *os << l << " | ";
    *os << " frames " << o.readFrames[0] << "/" << o.readFrames[1];
}

Outcome runProbe(const Probe& pr, size_t start) {
    RecordingEvents host;
    JobRunner ctx(host);
    const Bytes file = cat({filler(start), pr.bytes});
    ctx.job.source = "probe.EVO";
    ctx.job.pass.details = true;                  // the analysers see split first runs too
    ctx.job.output.pcm = OutputChoices::Pcm::Raw; // the payloads as they are
    ctx.cat.EarliestPTS = 0xFFFFFFFF;
    ctx.io.SourceStream = std::make_unique<MemoryStream>(file);
    demux(ctx, kReadPass);
    Outcome o;
    for (const auto& l : host.lines)
        if (isEngineLine(plainText(l))) o.lines.push_back(plainText(l));
    o.video = ctx.cat.VideoSlots, o.audio = ctx.cat.AudioSlots, o.sub = ctx.cat.SubSlots;
    o.earliest = ctx.cat.EarliestPTS;
    o.readFrames = ctx.cat.FrameCount;

    ctx.cat.FrameCount = {0, 0};
    std::vector<MemoryStream*> outs;
    auto give = [&](std::unique_ptr<Stream>& slot, Family family, size_t k) {
        auto s = std::make_unique<MemoryStream>();
        outs.push_back(s.get());
        slot = std::move(s);
        ctx.job.selection.at(family, k).checked = true;
    };
    give(ctx.io.VideoOut[0], V, 0);
    give(ctx.io.VideoOut[1], V, 1);
    for (size_t a = 0; a < 3; ++a) give(ctx.io.AudioOut[a], A, a);
    give(ctx.io.SubOut[1], S, 1);
    give(ctx.io.SubOut[3], S, 3);
    ctx.io.SourceStream = std::make_unique<MemoryStream>(file);
    demux(ctx, kDemuxPass);
    o.demuxFrames = ctx.cat.FrameCount;
    for (auto* s : outs) o.outputs.push_back(s->data);
    return o;
}

TEST(DemuxBlocks, ProbeReadInOnePieceGivesTheExpectedResult) {
    const Probe pr = makeProbe();
    const Outcome o = runProbe(pr, 100);
    // Eight streams with a slot, two subpicture format lines, and the H.264 stream that
    // finds both video slots taken.
    EXPECT_EQ(o.lines.size(), 8u * 3 + 2 + 3);
    EXPECT_EQ(o.video[0].entry(), 0xE0);
    EXPECT_EQ(o.video[1].entry(), 0x56);
    EXPECT_EQ(o.audio[2].entry(), 0xB2);
    EXPECT_EQ(o.audio[3].entry(), 0x1C0);
    EXPECT_EQ(o.sub[3].entry(), 0x63);
    EXPECT_EQ(o.earliest, 0x1000u);
    EXPECT_EQ(o.readFrames, (std::array<int32_t, 2>{2, 1}));
    EXPECT_EQ(o.demuxFrames, o.readFrames);
    EXPECT_EQ(o.outputs[5], cat({spHeader(0x3000), {0x00, 0x00}, data(10, 4)}));
    EXPECT_EQ(o.outputs[6], cat({spHeader(0x3100), {0x05, 0x08}, data(10, 5)}));
}

TEST(DemuxBlocks, EverySplitOfTheProbeGivesTheSameResult) {
    const Probe pr = makeProbe();
    const Outcome whole = runProbe(pr, 100);
    for (size_t k = 0; k <= pr.bytes.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "block boundary after " << k << " probe bytes");
        ASSERT_EQ(runProbe(pr, kBlockSize - k), whole);
    }
}

TEST(DemuxBlocks, SkippedPacketLeavesItsLastBytesInTheScanWord) {
    // The bytes of a skipped packet count as scanned: one ending in 00 00 01 lets the
    // next byte complete a start code, wherever the block boundary falls.
    Bytes skipped = {0x00, 0x00, 0x01, 0xBE, 0x00, 0x20};
    skipped.resize(6 + 0x20 - 3, 0xFF);
    skipped.insert(skipped.end(), {0x00, 0x00, 0x01});
    const Bytes rest = {0xBD, 0x00, 0x0B, 0x81, 0x00, 0x00, 0x80,
                        0x01, 0x00, 0x01, 0xD1, 0xD2, 0xD3, 0xD4};
    for (size_t k = 0; k <= skipped.size(); ++k) {
        SCOPED_TRACE(k);
        NullEvents events;
        JobRunner ctx(events);
        ctx.io.SourceStream =
            std::make_unique<MemoryStream>(cat({filler(kBlockSize - k), skipped, rest}));
        demux(ctx, kReadPass);
        EXPECT_EQ(ctx.cat.AudioSlots[0].entry(), 0x80);
    }
}

TEST_F(DemuxLoop, PayloadAcrossTheBoundaryIsWrittenAsTwoRuns) {
    const Bytes payload = data(300, 7);
    MemoryStream& v0 = out(V, 0);
    demuxPass(cat({filler(kBlockSize - 100), pes(0xE0, payload, 0x10, 0x5)}));
    EXPECT_EQ(v0.data, payload);
    EXPECT_EQ(v0.writes, 2);
}

// ---------------------------------------------------------------------------------------
// The block loop: system header, progress, cancel, read errors, fast check

TEST_F(DemuxLoop, SystemHeaderLine) {
    auto file = [](Bytes head, size_t size) {
        head.resize(size, 0x00);
        return head;
    };
    struct Case {
        Bytes file;
        uint8_t mode;
        Lines expect;
    };
    Bytes stuffedPack = cat({packHeader(0, 25200, 2), systemHeader(1, 1)});
    const std::vector<Case> cases = {
        {file(navPack(1, 1), kBlockSize),
         kReadPass,
         {"It contains 1 video stream and 1 audio stream."}},
        {file(navPack(0, 0), kBlockSize),
         kReadPass,
         {"It contains 0 video stream and 0 audio stream."}},
        {file(navPack(3, 2), kBlockSize + 5),
         kReadPass,
         {"It contains 2 video streams and 3 audio streams."}},
        // A source of any size gets the line.
        {file(cat({packHeader(), systemHeader(1, 1)}), 1000),
         kReadPass,
         {"It contains 1 video stream and 1 audio stream."}},
        {file(navPack(3, 2), 2048),
         kReadPass,
         {"It contains 2 video streams and 3 audio streams."}},
        {file(navPack(1, 1), kBlockSize - 30),
         kReadPass,
         {"It contains 1 video stream and 1 audio stream."}},
        {file(stuffedPack, kBlockSize), kReadPass, {}},
        {file(navPack(1, 1), kBlockSize), kDemuxPass, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.size());
        host.lines.clear();
        source(cat({c.file, priv(0x80, data(4))}));
        demux(ctx, c.mode);
        Lines got = host.lines;
        if (c.mode == kReadPass) {
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(got.back(), "[b]Dolby Digital[/b] audio stream 0 found!");
            got.pop_back();
        }
        EXPECT_EQ(got, c.expect);
    }
}

// A file of zeros of the given size with some bytes put in place, without using disk space.
void sparseFile(const std::string& path, int64_t size,
                const std::vector<std::pair<int64_t, Bytes>>& at) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    for (const auto& [off, bytes] : at)
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), off),
                  static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

TEST_F(DemuxLoop, ProgressEvery4MiB) {
    struct Case {
        int64_t size;
        Lines prefixes;
    };
    const std::vector<Case> cases = {
        {4194304, {"4/4 Mbytes, Remaining time: 0:00:01"}},
        {kBlockSize - 1, {}},
        {5 * 1048576, {"4/5 Mbytes, Remaining time: "}},
        {8 * 1048576, {"4/8 Mbytes, Remaining time: ", "8/8 Mbytes, Remaining time: 0:00:01"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        host.status1.clear();
        host.pumps = 0;
        const std::string path = dir / "zeros.EVO";
        sparseFile(path, c.size, {});
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
        demux(ctx, kReadPass);
        ASSERT_EQ(host.status1.size(), c.prefixes.size());
        EXPECT_EQ(host.pumps, static_cast<int>(c.prefixes.size()));
        for (size_t i = 0; i < c.prefixes.size(); ++i) {
            const std::string& want = c.prefixes[i];
            EXPECT_EQ(host.status1[i].substr(0, want.size()), want);
            // A bare prefix leaves the time open; it still reads h:mm:ss.
            EXPECT_EQ(host.status1[i].size(), want.size() + (want.back() == ' ' ? 7 : 0));
        }
    }
}

TEST_F(DemuxLoop, CancelStopsAtTheEndOfTheBlockOfThePump) {
    const std::string path = dir / "big.EVO";
    sparseFile(path, 8 * 1048576, {{0, pes(0xE0, frames(0x00, 3))}});
    bool buttonOnDuringPass = false;
    out(V, 0); // so that a demux pass counts too
    Lines questions;
    bool answer = false;
    host.onPump = [&] {
        buttonOnDuringPass = host.running;
        requestCancel(ctx.control, [&] {
            questions.push_back("Are you sure to stop demuxing?");
            return answer;
        });
    };
    struct Case {
        uint8_t mode;
        bool answer;
        int64_t endsAt;
        size_t questions;
    };
    for (const Case& c : std::vector<Case>{{kReadPass, false, 4194304, 0},
                                           {kDemuxPass, false, 8 * 1048576, 2},
                                           {kDemuxPass, true, 4194304, 1}}) {
        SCOPED_TRACE(testing::Message() << int(c.mode) << c.answer);
        questions.clear();
        answer = c.answer;
        ctx.cat.FrameCount = {0, 0};
        ctx.control.requestStop(StopReason::Cancel); // cleared by the pass
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
        demux(ctx, c.mode);
        EXPECT_EQ(ctx.io.SourceStream->position(), c.endsAt);
        EXPECT_EQ(questions.size(), c.questions);
        EXPECT_EQ(ctx.control.stopRequested(), c.endsAt != 8 * 1048576);
        EXPECT_EQ(ctx.cat.FrameCount[0], ctx.control.stopRequested() ? 0 : 3) << "zeroed on cancel";
        EXPECT_EQ(ctx.control.writing(), c.mode == kDemuxPass);
        EXPECT_TRUE(buttonOnDuringPass);
        EXPECT_FALSE(host.running);
    }
}

TEST_F(DemuxLoop, PassStartResetsTheCatalogueButNotTheFrameCounts) {
    ctx.cat.VideoSlots[0] = SlotEntry::listedByPlaylist();
    ctx.cat.AudioSlots[15] = metEntry(0x8F);
    ctx.cat.SubSlots[31] = metEntry(0x3F);
    ctx.cat.FrameCount = {5, 6};
    readPass({});
    for (const SlotEntry& e : ctx.cat.VideoSlots) EXPECT_TRUE(e.empty());
    for (const SlotEntry& e : ctx.cat.AudioSlots) EXPECT_TRUE(e.empty());
    for (const SlotEntry& e : ctx.cat.SubSlots) EXPECT_TRUE(e.empty());
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{5, 6}));
}

TEST_F(DemuxLoop, ReadDeliveringNothingBeforeTheEndIsAnError) {
    auto src = std::make_unique<MemoryStream>(cat({priv(0x80, data(4)), Bytes(kBlockSize, 0)}));
    src->reportedSize = static_cast<int64_t>(src->data.size()) + 100;
    ctx.io.SourceStream = std::move(src);
    try {
        demux(ctx, kReadPass);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(host.lines, Lines{"[b]Dolby Digital[/b] audio stream 0 found!"});
    EXPECT_FALSE(host.running);
}

TEST_F(DemuxLoop, FastCheckStopsAfterTheBlockEndingPast300MB) {
    constexpr int64_t kStop = 300154880; // first multiple of 262,144 above 300,000,000
    constexpr int64_t kBlock = static_cast<int64_t>(kBlockSize);
    struct Case {
        int64_t size;
        uint8_t mode;
        bool fastCheck;
        int64_t endsAt; // where the pass stops; the fast check stopped it when not the size
    };
    const std::vector<Case> cases = {
        {kStop + kBlock, kReadPass, true, kStop},
        {kStop + kBlock, kReadPass, false, kStop + kBlock},
        {kStop + kBlock, kDemuxPass, true, kStop + kBlock},
        // A source whose last block is the one that passes the limit is read whole.
        {kStop, kReadPass, true, kStop},
        {300050000, kReadPass, true, 300050000},
        {kFastCheckLimit + 1, kReadPass, true, kFastCheckLimit + 1},
    };
    out(V, 0); // so that a demux pass counts too
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " " << int(c.mode) << c.fastCheck);
        // MPEG-audio packets of 65,541 bytes whose payload runs are jumped over, one
        // stream in the last block the fast check reads, one after it.
        const int64_t lastRead = std::min(c.size, kStop);
        std::vector<std::pair<int64_t, Bytes>> parts = {{0, pes(0xE0, frames(0x00, 3))}};
        const Bytes mpa = {0x00, 0x00, 0x01, 0xC0, 0xFF, 0xFF, 0x81, 0x00, 0x00};
        for (int64_t off = 64; off + 65541 < lastRead - 1000; off += 65541)
            parts.push_back({off, mpa});
        parts.push_back({lastRead - 100, priv(0x80, data(8))});
        const bool after = c.size > kStop + 200;
        if (after) parts.push_back({kStop + 100, priv(0x81, data(8))});
        const std::string path = dir / "large.EVO";
        sparseFile(path, c.size, parts);

        host.lines.clear();
        host.pumps = 0;
        ctx.cat.FrameCount = {0, 0};
        ctx.job.pass.fastCheck = c.fastCheck;
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
        demux(ctx, c.mode);
        const bool stopped = c.endsAt < c.size;
        EXPECT_EQ(ctx.io.SourceStream->position(), c.endsAt);
        EXPECT_EQ(ctx.control.stopRequested(), stopped);
        EXPECT_EQ(ctx.cat.FrameCount[0], stopped ? 0 : 3);
        EXPECT_EQ(host.pumps, c.endsAt / kPumpInterval);
        EXPECT_EQ(ctx.cat.AudioSlots[0].entry(), 0x1C0);
        EXPECT_EQ(ctx.cat.AudioSlots[1].entry(), 0x80);
        EXPECT_EQ(ctx.cat.AudioSlots[2], after && !stopped ? metEntry(0x81) : SlotEntry());
        if (c.mode == kReadPass) {
            EXPECT_EQ(host.lines.size(), after && !stopped ? 4u : 3u) << "no message for the stop";
        }
    }
}

} // namespace
} // namespace qf::test
