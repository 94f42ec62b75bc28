// The program-stream pass over packets: parsing across headers, stream ids and slots, the
// time-stamp registers and details. Frame counting and what a demux pass writes:
// demux_output_test.cpp; block boundaries and the block loop: demux_blocks_test.cpp.
#include "engine/demux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/demux_fixture.h"

namespace qf::test {
namespace {

class Demux : public ::testing::Test, protected PassBench {};

// ---------------------------------------------------------------------------------------
// Packets in, slots, lines and payloads out

// A file read with details, then demuxed with the given outputs: the engine's lines, the
// slots claimed and what each output gets.
struct Claim {
    Family family;
    int slot;
    int32_t entry;
};
struct Written {
    Family family;
    int slot;
    Bytes data;
    bool ticked = true; // unticked after its output was made
    bool file = true;   // false: ticked, but the job made no output
};
struct PacketCase {
    const char* what;
    Bytes file;
    std::optional<Lines> lines; // of the read pass; nullopt: no read pass
    std::vector<Claim> slots = {};
    std::vector<Written> outputs = {}; // of the demux pass; none: no demux pass
    bool details = true;
};

Pes shortPes(uint16_t length) {
    Pes p;
    p.streamId = 0xE0;
    p.pts = 0x1234;
    p.payload = data(6);
    p.lengthOverride = length;
    return p;
}

// A packet of the given id whose header carries the fields `setup` sets.
Bytes headed(uint8_t id, const Bytes& payload, const std::function<void(Pes&)>& setup) {
    Pes p;
    p.streamId = id;
    p.payload = payload;
    setup(p);
    return pesBytes(p);
}

Bytes skippedHolding(int id, const Bytes& inside) {
    Bytes b = {
        0x00, 0x00, 0x01, static_cast<uint8_t>(id), 0x00, static_cast<uint8_t>(inside.size())};
    b.insert(b.end(), inside.begin(), inside.end());
    return b;
}

std::vector<PacketCase> packetCases() {
    const Bytes pl = data(12, 9), ac3 = subFor(0x83), vc1Frames = frames(0x0D, 2);
    Bytes cut = pes(0xE0, data(4), 0x1000, 0x900);
    cut.resize(9 + 6); // broken off inside its PTS/DTS pair
    Bytes vc1Flagged = headed(0xFD, pl, [](Pes& p) { p.streamIdExt = 0x55; });
    vc1Flagged[11] |= 0x80; // the extension byte's top bit is a flag, not part of the id
    Pes filled;             // a private-stream-1 packet that its header fills
    filled.streamId = 0xBD;
    filled.pts = 0x1234;
    const Bytes fake = pes(0xE1, data(4));
    std::vector<PacketCase> cases = {
        {"the 21-byte private stream 1 example; MPEG-2 without PTS claims with the cleared CurPTS",
         cat({{0x00, 0x00, 0x01, 0xBD, 0x00, 0x0F, 0x81, 0x80, 0x05, 0x21, 0x00,
               0x05, 0xBF, 0x21, 0x80, 0x01, 0x00, 0x05, 0x0B, 0x77, 0x00},
              pes(0xE0, data(8))}),
         heading("Dolby Digital audio stream 0", 0x15F90, "80") +
             heading("MPEG-2 video stream 0", 0, "E0"),
         {{A, 0, 0x80}},
         {{A, 0, {0x0B, 0x77, 0x00}}}},
        // The first of each index keeps it; the others take the lowest free slot, with a
        // check box first; a family without a free slot leaves the stream unselectable.
        {"streams with the same index get slots of their own",
         cat({priv(0x81, data(5, 1)), priv(0x89, data(6, 2)), pes(0xE0, data(7, 3)),
              pes(0xE2, data(8, 4)), vc1(0x55, data(9, 5)), priv(0x20, data(4, 6)),
              priv(0x60, data(3, 7)), priv(0x30, data(3, 8)), priv(0x70, data(3, 9)),
              pes(0xC1, data(5, 10)), priv(0x81, data(5, 11))}),
         heading("Dolby Digital audio stream 1", 0, "81") +
             heading("DTS HD (DTS) audio stream 0", 0, "89") +
             heading("MPEG-2 video stream 0", 0, "E0") +
             heading("H.264 (AVC) video stream 1", 0, "E2") +
             Lines{"   First PTS = 00000000", "   Stream id = 55",
                   "   No free slot: this stream cannot be selected"} +
             heading("Subpicture stream 0", 0, "20") + Lines{"   Format = 2bitRLE"} +
             heading("Extended subpicture stream 1", 0, "60") + Lines{"   Format = 2bitRLE"} +
             heading("Subpicture stream 16", 0, "30") + Lines{"   Format = 2bitRLE"} +
             heading("Extended subpicture stream 2", 0, "70") + Lines{"   Format = 2bitRLE"} +
             heading("MPEG audio stream 2", 0, "C1"),
         {{A, 0, 0x89}, {A, 1, 0x81}, {A, 2, 0x1C1}, {V, 1, 0xE2}},
         {{A, 1, cat({data(5, 1), data(5, 11)})},
          {A, 0, data(6, 2)},
          {A, 2, data(5, 10)},
          {V, 0, data(7, 3)},
          {V, 1, data(8, 4)},
          {S, 0, data(4, 6)},
          {S, 1, data(3, 7)},
          {S, 2, data(3, 9)}}},
        {"the counters stop at the next start code inside a cut header",
         cat({cut, priv(0x80, {0x0B, 0x77, 0x01}, 0x15F90)}),
         Lines{"MPEG-2 video stream 0 found!"} +
             heading("Dolby Digital audio stream 0", 0x15F90, "80"),
         {},
         {{A, 0, {0x0B, 0x77, 0x01}}}},
        // An extended-stream packet names its stream only by its stream id extension:
        // without one, or with an unknown one, its payload belongs to no stream.
        {"video without a stream is ignored",
         cat({pes(0xFD, vc1Frames), vc1(0x57, vc1Frames), pes(0xE1, data(3)), pes(0xFD, vc1Frames),
              vc1(0x57, vc1Frames)}),
         heading("MPEG-2 video stream 1", 0, "E1"),
         {},
         {{V, 0, {}}, {V, 1, data(3)}}},
        // Stuffing, P-STD and bare extension flag bytes: the payload starts where it should;
        // with a PTS, the extension of a private-stream-1 header is passed over as stuffing;
        // VC-1 beside MPEG-2 video takes the other slot.
        {"header fields are parsed or passed over",
         cat({headed(0xE0, pl,
                     [](Pes& p) { p.pts = 0x100, p.dts = 0x80, p.pstd = true, p.stuffing = 3; }),
              headed(0xE0, pl, [](Pes& p) { p.extensionOnly = true; }),
              headed(0xE0, pl, [](Pes& p) { p.pstd = true, p.stuffing = 2; }),
              headed(
                  0xBD, pl,
                  [&](Pes& p) { p.pts = 0x200, p.pstd = true, p.stuffing = 1, p.subHeader = ac3; }),
              headed(0xBD, pl, [&](Pes& p) { p.extensionOnly = true, p.subHeader = ac3; }),
              headed(0xFD, pl,
                     [](Pes& p) {
                         p.pts = 0x300, p.dts = 0x280, p.streamIdExt = 0x55, p.pstd = true,
                         p.stuffing = 4;
                     }),
              vc1Flagged}),
         std::nullopt,
         {},
         {{V, 0, cat({pl, pl, pl})}, {V, 1, cat({pl, pl})}, {A, 3, cat({pl, pl})}}},
        {"a length two bytes beyond the header: exactly those two bytes are payload",
         cat({pesBytes(shortPes(10)), priv(0x80, data(10, 3))}),
         std::nullopt,
         {},
         {{V, 0, data(2)}}},
        {"a private-stream-1 packet its header fills names no sub-stream",
         cat({pesBytes(filled), {0x20, 0x00, 0x00, 0x00}, priv(0x80, data(10, 3))}),
         Lines{"Dolby Digital audio stream 0 found!"},
         {},
         {},
         false},
        // Every stream has a slot of its own; the unknown sub-stream 0x90 reaches none;
        // 0x30 takes slot 16, which has no box and no file; the outputs decide, not the boxes.
        {"a demux pass writes ticked payloads only",
         cat({priv(0x80, data(10, 1), 0x100), pes(0xC0, data(15, 6), 0x200),
              priv(0xA1, data(11, 2)), priv(0xB2, data(12, 3)), priv(0xC3, data(13, 4)),
              priv(0x8C, data(14, 5)), priv(0x90, data(16, 7)), priv(0x85, data(17, 8)),
              pes(0xE0, data(18, 9)), priv(0x80, data(19, 10)), priv(0x20, data(20, 11)),
              priv(0x30, data(21, 12))}),
         std::nullopt,
         {},
         {{A, 0, cat({data(10, 1), data(19, 10)})},
          {A, 1, data(15, 6)}, // MPEG audio: no sub-stream header
          {A, 2, data(11, 2)}, // LPCM: 7-byte header
          {A, 3, data(12, 3)}, // TrueHD: 5-byte header
          {A, 4, data(13, 4)},
          {A, 5, data(14, 5)},
          {A, 6, data(17, 8), false},
          {A, 7, {}, true, false},
          {V, 0, data(18, 9)},
          {S, 0, data(20, 11)}}},
    };
    // Packets shorter than their header have no payload; parsing resumes at the next
    // start code.
    for (int length : {0, 3, 5, 8})
        cases.push_back({"a packet shorter than its header",
                         cat({pesBytes(shortPes(static_cast<uint16_t>(length))),
                              priv(0x80, data(10, 3), 0x500)}),
                         std::nullopt,
                         {},
                         {{V, 0, {}}, {A, 0, data(10, 3)}}});
    // Skipped packets hide the start codes inside.
    for (int id : {0xBC, 0xBE, 0xBF})
        cases.push_back({"a skipped packet",
                         cat({skippedHolding(id, fake), pes(0xBE, {}), priv(0x82, data(4))}),
                         Lines{"Dolby Digital audio stream 2 found!"},
                         {},
                         {},
                         false});
    return cases;
}

TEST(DemuxPackets, ReadAndDemuxPassesGiveTheirLinesSlotsAndPayloads) {
    for (const PacketCase& c : packetCases()) {
        SCOPED_TRACE(c.what);
        PassBench b;
        b.ctx.job.pass.details = c.details;
        if (c.lines) {
            b.readPass(c.file);
            EXPECT_EQ(b.engineLines(), *c.lines);
            for (const Claim& s : c.slots)
                EXPECT_EQ(b.ctx.cat.slotTable(s.family)[s.slot].entry(), s.entry) << s.slot;
        }
        if (c.outputs.empty()) continue;
        std::vector<MemoryStream*> outs;
        for (const Written& w : c.outputs) {
            outs.push_back(w.file ? &b.out(w.family, w.slot) : nullptr);
            b.tick(w.family, w.slot, w.ticked);
        }
        b.host.lines.clear();
        b.demuxPass(c.file);
        for (size_t k = 0; k < outs.size(); ++k)
            if (outs[k]) {
                EXPECT_EQ(outs[k]->data, c.outputs[k].data) << "output " << k;
            }
        EXPECT_TRUE(b.host.lines.empty()) << "a demux pass announces nothing";
        EXPECT_TRUE(b.ctx.control.writing());
    }
}

TEST_F(Demux, SubStream0xA1IsMlpOnlyInAobSources) {
    ctx.job.pass.details = true;
    const Bytes file = cat({priv(0xA1, data(32), 0x100), priv(0xA0, data(32), 0x100)});
    for (const char* name : {"x.AOB", "x.aob", "x.Aob", "x.VOB", "x.EVO", "x.aob.vob", "AOB"}) {
        SCOPED_TRACE(name);
        host.lines.clear();
        readPass(file, name);
        const bool aob = std::string(name).size() == 5 && upperExt(name) == ".AOB";
        EXPECT_EQ(isAobSource(ctx.job.source), aob);
        const Lines lines = engineLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], aob ? "MLP audio stream 1 found!" : "LPCM audio stream 1 found!");
        EXPECT_NE(std::find(lines.begin(), lines.end(), "LPCM audio stream 0 found!"), lines.end());
        // The LPCM report names the sample size; the MLP report has no such line.
        int sampleSizeLines = 0;
        for (const auto& l : host.lines) sampleSizeLines += l.rfind("   Sample size", 0) == 0;
        EXPECT_EQ(sampleSizeLines, aob ? 1 : 2);
    }
    EXPECT_FALSE(isAobSource("/media/disc.aob/FEATURE.EVO"))
        << "only the file name's own extension counts";
}

TEST_F(Demux, DtsHeaderIsDecodedPastTheEndOfItsPayload) {
    // The core header after the sync word runs into the padding packet that follows.
    ctx.job.pass.details = true;
    readPass(cat({priv(0x88, {0x11, 0x22, 0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0x7D, 0xC2, 0x75,
                              0xE0, 0x04, 0x39}),
                  pes(0xBE, data(16))}));
    ASSERT_GE(host.lines.size(), 2u);
    EXPECT_EQ(host.lines[host.lines.size() - 2], "   Encoder software rev. = 7, Current");
    EXPECT_EQ(host.lines.back().rfind("   Source PCM resolution = ", 0), 0u);
}

// ---------------------------------------------------------------------------------------
// Time-stamp registers, details and EarliestPTS

TEST_F(Demux, FirstPtsFollowsTheRegisterRules) {
    struct Case {
        const char* what;
        Bytes file;
        Lines expect;
    };
    const Bytes v = data(8);
    const Bytes rle8 = {0x00, 0x00, 0x10, 0x20};
    const Lines mpa1 = heading("MPEG audio stream 1", 0x2222, "C1"),
                mpa0 = heading("MPEG audio stream 0", 0x7777, "C0"),
                ac3 = heading("Dolby Digital audio stream 0", 0x15F90, "80"),
                e0Cleared = heading("MPEG-2 video stream 0", 0, "E0"),
                fmt8 = {"   Format = 8bitRLE"};
    const std::vector<Case> cases = {
        {"MPEG-2 with PTS and DTS takes its own PTS", pes(0xE0, v, 0x1000, 0xF00),
         heading("MPEG-2 video stream 0", 0x1000, "E0")},
        {"MPEG-2 with a lone PTS takes its own", cat({pes(0xC1, v, 0x2222), pes(0xE0, v, 0x3333)}),
         mpa1 + heading("MPEG-2 video stream 0", 0x3333, "E0")},
        {"H.264 with a lone PTS takes its own",
         cat({pes(0xE1, v, 0x100, 0x80), pes(0xE2, v, 0x3333)}),
         heading("MPEG-2 video stream 1", 0x100, "E1") +
             heading("H.264 (AVC) video stream 0", 0x3333, "E2")},
        {"a first packet without PTS takes the one before",
         cat({pes(0xC1, v, 0x2222), pes(0xE0, v)}),
         mpa1 + heading("MPEG-2 video stream 0", 0x2222, "E0")},
        {"H.264 with PTS and DTS", pes(0xE3, v, 0x3333, 0x3000),
         heading("H.264 (AVC) video stream 1", 0x3333, "E3")},
        {"VC-1 takes the PTS of the header that carries its extension", vc1(0x55, v, 0x4444),
         heading("VC-1 video stream 0", 0x4444, "55")},
        {"VC-1 with P-STD field", vc1(0x56, v, 0x4445, true),
         heading("VC-1 video stream 1", 0x4445, "56")},
        {"audio header clears CurPTS", cat({priv(0x80, v, 0x15F90), pes(0xE0, v)}),
         ac3 + e0Cleared},
        {"ignored sub-stream clears CurPTS too",
         cat({pes(0xC0, v, 0x7777), priv(0xFF, v), pes(0xE0, v)}), mpa0 + e0Cleared},
        {"padding and MPEG audio keep CurPTS",
         cat({pes(0xC0, v, 0x7777), pes(0xBE, v), pes(0xE0, v)}),
         mpa0 + heading("MPEG-2 video stream 0", 0x7777, "E0")},
        {"second audio stream without PTS", cat({priv(0x80, v, 0x1000), priv(0x81, v)}),
         heading("Dolby Digital audio stream 0", 0x1000, "80") +
             heading("Dolby Digital audio stream 1", 0, "81")},
        {"CurPTS takes the PTS of a pair, not the DTS",
         cat({pes(0xE2, v, 0x100, 0x50), pes(0xE1, v)}),
         heading("H.264 (AVC) video stream 0", 0x100, "E2") +
             heading("MPEG-2 video stream 1", 0x100, "E1")},
        {"subpicture clears CurPTS in a read pass", cat({priv(0x20, rle8, 0x5555), pes(0xE0, v)}),
         heading("Subpicture stream 0", 0x5555, "20") + fmt8 + e0Cleared},
        {"extended subpicture keeps CurPTS", cat({priv(0x62, rle8, 0x5555), pes(0xE0, v)}),
         heading("Extended subpicture stream 2", 0x5555, "62") + fmt8 +
             heading("MPEG-2 video stream 0", 0x5555, "E0")},
        {"bit 32 of the time stamp is dropped", pes(0xE0, v, 0x123456789, 0x123450000),
         heading("MPEG-2 video stream 0", 0x23456789, "E0")},
        {"MPEG audio takes its own header's PTS",
         cat({pes(0xE0, v, 0x100, 0x80), pes(0xC3, v, 0x200)}),
         heading("MPEG-2 video stream 0", 0x100, "E0") +
             heading("MPEG audio stream 3", 0x200, "C3")},
        {"an empty first run still gives the heading",
         cat({pes(0xE0, {}, 0x100, 0x80), priv(0x81, {}, 0x300), priv(0x20, {}, 0x400)}),
         heading("MPEG-2 video stream 0", 0x100, "E0") +
             heading("Dolby Digital audio stream 1", 0x300, "81") +
             heading("Subpicture stream 0", 0x400, "20") + Lines{"   Format = 2bitRLE"}},
    };
    ctx.job.pass.details = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.lines.clear();
        readPass(c.file);
        EXPECT_EQ(engineLines(), c.expect);
    }
}

TEST_F(Demux, EarliestPtsComesFromAudioAndVideoEvenWithoutDetails) {
    // Subpicture times and later packets of a slot do not count.
    const Bytes audioFirst =
        cat({priv(0x20, data(4), 0x100), priv(0x80, data(4), 0x3000),
             pes(0xE0, data(4), 0x4000, 0x3000), pes(0xE0, data(4), 0x10, 0x8)});
    const Bytes videoFirst = cat({priv(0x81, data(4), 0x5000), pes(0xE1, data(4), 0x4000, 0x3000),
                                  priv(0x81, data(4), 0x20)});
    for (bool details : {true, false}) {
        SCOPED_TRACE(details);
        ctx.job.pass.details = details;
        host.lines.clear();
        readPass(audioFirst);
        EXPECT_EQ(ctx.cat.EarliestPTS, 0x3000u);
        EXPECT_EQ(engineLines().size(), details ? 10u : 3u);
        readPass(videoFirst);
        EXPECT_EQ(ctx.cat.EarliestPTS, 0x4000u);
    }
    // A pass without audio or video leaves it alone; a demux pass never changes it.
    readPass(priv(0x20, data(4), 0x100));
    EXPECT_EQ(ctx.cat.EarliestPTS, 0xFFFFFFFFu);
    ctx.cat.EarliestPTS = 0x1234;
    demuxPass(audioFirst);
    EXPECT_EQ(ctx.cat.EarliestPTS, 0x1234u);
}

TEST_F(Demux, EachSlotIsDescribedOncePerPass) {
    ctx.job.pass.details = true;
    const Bytes file = cat({pes(0xE0, data(4), 0x10, 0x8), pes(0xE0, data(4), 0x20, 0x18),
                            priv(0x84, data(4), 0x30), priv(0x84, data(4), 0x40),
                            priv(0x24, {0, 0, 1}, 0x50), priv(0x24, {0, 5, 1}, 0x60)});
    readPass(file);
    readPass(file);
    int headings = 0;
    for (const auto& l : engineLines()) headings += l.rfind("   First PTS", 0) == 0;
    EXPECT_EQ(headings, 6);
}

TEST_F(Demux, SubpictureFormatLine) {
    ctx.job.pass.details = true;
    struct Case {
        Bytes unit;
        const char* line;
    };
    for (const Case& c : std::vector<Case>{{{0x00, 0x00, 0x12}, "   Format = 8bitRLE"},
                                           {{0x00, 0x05, 0x12}, "   Format = 2bitRLE"},
                                           {{0x05, 0x00, 0x12}, "   Format = 2bitRLE"},
                                           {{0x00}, "   Format = 8bitRLE"},
                                           {{0x05}, "   Format = 2bitRLE"}}) {
        host.lines.clear();
        // A junk byte after the packet: the format must come from the run alone.
        readPass(cat({priv(0x35, c.unit, 0x90), {0xFF}}));
        EXPECT_EQ(engineLines(), (Lines{"Subpicture stream 21 found!", "   First PTS = 00000090",
                                        "   Stream id = 35", c.line}));
        EXPECT_EQ(host.lines.back(), std::string(c.line).replace(12, 0, "[bl]") + "[/bl]");
    }
}

} // namespace
} // namespace qf::test
