// The program-stream pass: packet parsing across block boundaries, stream ids and slots,
// the time-stamp registers, details, frame counting, output and the block loop.
#include "engine/demux.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/blockpass.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/control.h"
#include "jobs/runner.h"
#include "model/session.h"
#include "support/memory_stream.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

using Lines = std::vector<std::string>;
using Pts = std::optional<uint64_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// n bytes that never form a start code (every byte has its top bit set).
Bytes data(size_t n, uint8_t seed = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x80 | ((seed + i) & 0x7F));
    return b;
}

// n start codes 00 00 01 `code`, each followed by three filler bytes.
Bytes frames(uint8_t code, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.insert(b.end(), {0x00, 0x00, 0x01, code, 0x91, 0x92, 0x93});
    return b;
}

Bytes pes(uint8_t id, Bytes payload, Pts pts = {}, Pts dts = {}) {
    Pes p;
    p.streamId = id;
    p.pts = pts;
    p.dts = dts;
    p.payload = std::move(payload);
    return pesBytes(p);
}

Bytes vc1(uint8_t ext, Bytes payload, Pts pts = {}, bool pstd = false) {
    Pes p;
    p.streamId = 0xFD;
    p.pts = pts;
    p.streamIdExt = ext;
    p.pstd = pstd;
    p.payload = std::move(payload);
    return pesBytes(p);
}

// The sub-stream header that goes with a private-stream-1 id.
Bytes subFor(uint8_t id) {
    if (id >= 0xA0 && id <= 0xA7) return subHeaderLpcm(id);
    if (id >= 0xB0 && id <= 0xB7) return subHeaderTrueHD(id);
    if ((id & 0xC0) == 0x00 && (id & 0x20)) return subHeaderSub(id);
    if ((id & 0xE0) == 0x60) return subHeaderSub(id);
    return subHeaderAudio(id);
}

Bytes priv(uint8_t id, Bytes payload, Pts pts = {}) {
    Pes p;
    p.streamId = 0xBD;
    p.pts = pts;
    p.subHeader = subFor(id);
    p.payload = std::move(payload);
    return pesBytes(p);
}

bool isEngineLine(const std::string& plain) {
    return plain.find(" found!") != std::string::npos || plain.rfind("   First PTS", 0) == 0 ||
           plain.rfind("   Stream id", 0) == 0 || plain.rfind("   Format", 0) == 0 ||
           plain.rfind("   No free slot", 0) == 0 || plain.rfind("It contains", 0) == 0;
}

class Demux : public ::testing::Test {
protected:
    RecordingHost host;
    Session ctx{host};
    TempDir dir;

    Demux() { ctx.ui.cbDetails = false; }

    void source(const Bytes& bytes, const std::string& name = "title.EVO") {
        const std::string path = dir / name;
        writeFile(path, bytes);
        ctx.ui.eEVOfile = path;
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
    }
    // As a Read job does: slots and the earliest time are found anew.
    void readPass(const Bytes& bytes, const std::string& name = "title.EVO") {
        source(bytes, name);
        ctx.cat.Slots.clear();
        ctx.cat.EarliestPTS = 0xFFFFFFFF;
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, kReadPass);
    }
    void demuxPass(const Bytes& bytes, const std::string& name = "title.EVO") {
        source(bytes, name);
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, kDemuxPass);
    }
    // Ticks a box and gives it an in-memory output: family 0 video, 1 audio, 2 subpicture.
    MemoryStream& out(int family, int slot) {
        auto s = std::make_unique<MemoryStream>();
        MemoryStream& ref = *s;
        if (family == 0) {
            ctx.io.VideoOut[slot] = std::move(s);
            ctx.ui.cbVideo[slot].checked = true;
        } else if (family == 1) {
            ctx.io.AudioOut[slot] = std::move(s);
            ctx.ui.cbAudio[slot].checked = true;
        } else {
            ctx.io.SubOut[slot] = std::move(s);
            ctx.ui.cbSub[slot].checked = true;
        }
        return ref;
    }
    // The engine's own lines (announcements and first-payload headings), as plain text.
    Lines engineLines() const {
        Lines r;
        for (const auto& l : host.lines)
            if (isEngineLine(plainText(l))) r.push_back(plainText(l));
        return r;
    }
};

// ---------------------------------------------------------------------------------------
// Packet parsing and stream identification

TEST_F(Demux, TwentyOneBytePrivateStream1Packet) {
    const Bytes example = {0x00, 0x00, 0x01, 0xBD, 0x00, 0x0F, 0x81, 0x80, 0x05, 0x21, 0x00,
                           0x05, 0xBF, 0x21, 0x80, 0x01, 0x00, 0x05, 0x0B, 0x77, 0x00};
    // A following MPEG-2 packet without PTS claims its slot with the cleared CurPTS.
    const Bytes file = cat({example, pes(0xE0, data(8))});
    ctx.ui.cbDetails = true;
    readPass(file);
    EXPECT_EQ(host.lines.front(), "[b]Dolby Digital[/b] audio stream 0 found!");
    EXPECT_EQ(ctx.cat.AudioSlots[0], 0x80);
    EXPECT_EQ(engineLines(),
              (Lines{"Dolby Digital audio stream 0 found!", "   First PTS = 00015F90",
                     "   Stream id = 80", "MPEG-2 video stream 0 found!", "   First PTS = 00000000",
                     "   Stream id = E0"}));

    host.lines.clear();
    MemoryStream& a0 = out(1, 0);
    demuxPass(file);
    EXPECT_EQ(a0.data, (Bytes{0x0B, 0x77, 0x00}));
    EXPECT_TRUE(host.lines.empty()) << "a demux pass announces nothing";
}

TEST_F(Demux, EveryStreamIdRangeClaimsItsSlot) {
    struct Case {
        Bytes packet;
        int family; // 0 video, 1 audio, 2 subpicture, -1 none
        int slot;
        int32_t entry;
        std::string line;
    };
    const Bytes p = data(16);
    const std::vector<Case> cases = {
        {pes(0xE0, p), 0, 0, 0xE0, "[b]MPEG-2[/b] video stream 0 found!"},
        {pes(0xE1, p), 0, 1, 0xE1, "[b]MPEG-2[/b] video stream 1 found!"},
        {pes(0xE2, p), 0, 0, 0xE2, "[b]H.264 (AVC)[/b] video stream 0 found!"},
        {pes(0xE3, p), 0, 1, 0xE3, "[b]H.264 (AVC)[/b] video stream 1 found!"},
        {vc1(0x55, p), 0, 0, 0x55, "[b]VC-1[/b] video stream 0 found!"},
        {vc1(0x56, p, 0x100, true), 0, 1, 0x56, "[b]VC-1[/b] video stream 1 found!"},
        {priv(0x80, p), 1, 0, 0x80, "[b]Dolby Digital[/b] audio stream 0 found!"},
        {priv(0x87, p), 1, 7, 0x87, "[b]Dolby Digital[/b] audio stream 7 found!"},
        {priv(0x88, p), 1, 0, 0x88, "[b]DTS HD (DTS)[/b] audio stream 0 found!"},
        {priv(0x8F, p), 1, 7, 0x8F, "[b]DTS HD (DTS)[/b] audio stream 7 found!"},
        {priv(0xA0, p), 1, 0, 0xA0, "[b]LPCM[/b] audio stream 0 found!"},
        {priv(0xA7, p), 1, 7, 0xA7, "[b]LPCM[/b] audio stream 7 found!"},
        {priv(0xB0, p), 1, 0, 0xB0, "[b]Dolby TrueHD[/b] audio stream 0 found!"},
        {priv(0xB7, p), 1, 7, 0xB7, "[b]Dolby TrueHD[/b] audio stream 7 found!"},
        {priv(0xC0, p), 1, 0, 0xC0, "[b]Dolby Digital[/b] Plus audio stream 0 found!"},
        {priv(0xCF, p), 1, 15, 0xCF, "[b]Dolby Digital[/b] Plus audio stream 15 found!"},
        {priv(0x20, p), 2, 0, 0x20, "[b]Subpicture[/b] stream 0 found!"},
        {priv(0x3F, p), 2, 31, 0x3F, "[b]Subpicture[/b] stream 31 found!"},
        {priv(0x60, p), 2, 0, 0x60, "[b]Extended subpicture[/b] stream 0 found!"},
        {priv(0x7F, p), 2, 31, 0x7F, "[b]Extended subpicture[/b] stream 31 found!"},
        {pes(0xC0, p, 0x100), 1, 0, 0x1C0, "[b]MPEG[/b] audio stream 0 found!"},
        {pes(0xCF, p), 1, 15, 0x1CF, "[b]MPEG[/b] audio stream 15 found!"},
        // Ids outside every range and other PES ids claim nothing.
        {priv(0x1F, p), -1, 0, 0, ""},
        {priv(0x40, p), -1, 0, 0, ""},
        {priv(0x5F, p), -1, 0, 0, ""},
        {priv(0x90, p), -1, 0, 0, ""},
        {priv(0xA8, p), -1, 0, 0, ""},
        {priv(0xB8, p), -1, 0, 0, ""},
        {priv(0xD0, p), -1, 0, 0, ""},
        {priv(0xFF, p), -1, 0, 0, ""},
        {pes(0xE4, p), -1, 0, 0, ""},
        {pes(0xD0, p), -1, 0, 0, ""},
        {vc1(0x57, p), -1, 0, 0, ""},
        {pes(0xFD, p), -1, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "packet id " << std::hex << int(c.packet[3]) << "/"
                                        << int(c.packet.size() > 9 ? c.packet[9] : 0));
        host.lines.clear();
        readPass(cat({c.packet, pes(0xBE, {})}));
        Lines expect;
        if (c.family >= 0) expect.push_back(c.line);
        EXPECT_EQ(host.lines, expect);
        std::array<int32_t, 16> v, a;
        std::array<int32_t, 32> s;
        v.fill(-1), a.fill(-1), s.fill(-1);
        if (c.family == 0) v[c.slot] = c.entry;
        if (c.family == 1) a[c.slot] = c.entry;
        if (c.family == 2) s[c.slot] = c.entry;
        EXPECT_EQ(ctx.cat.VideoSlots, v);
        EXPECT_EQ(ctx.cat.AudioSlots, a);
        EXPECT_EQ(ctx.cat.SubSlots, s);
    }
}

TEST_F(Demux, StreamsWithTheSameIndexGetSlotsOfTheirOwn) {
    // The first of each index keeps it; the others take the lowest free slot, with a check
    // box first; a family without a free slot leaves the stream unselectable.
    const Bytes file = cat({priv(0x81, data(5, 1)), priv(0x89, data(6, 2)), pes(0xE0, data(7, 3)),
                            pes(0xE2, data(8, 4)), vc1(0x55, data(9, 5)), priv(0x20, data(4, 6)),
                            priv(0x60, data(3, 7)), priv(0x30, data(3, 8)), priv(0x70, data(3, 9)),
                            pes(0xC1, data(5, 10)), priv(0x81, data(5, 11))});
    ctx.ui.cbDetails = true;
    readPass(file);
    EXPECT_EQ(engineLines(), (Lines{"Dolby Digital audio stream 1 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = 81",
                                    "DTS HD (DTS) audio stream 0 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = 89",
                                    "MPEG-2 video stream 0 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = E0",
                                    "H.264 (AVC) video stream 1 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = E2",
                                    "   First PTS = 00000000",
                                    "   Stream id = 55",
                                    "   No free slot: this stream cannot be selected",
                                    "Subpicture stream 0 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = 20",
                                    "   Format = 2bitRLE",
                                    "Extended subpicture stream 1 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = 60",
                                    "   Format = 2bitRLE",
                                    "Subpicture stream 16 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = 30",
                                    "   Format = 2bitRLE",
                                    "Extended subpicture stream 2 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = 70",
                                    "   Format = 2bitRLE",
                                    "MPEG audio stream 2 found!",
                                    "   First PTS = 00000000",
                                    "   Stream id = C1"}));
    EXPECT_EQ(ctx.cat.AudioSlots[0], 0x89);
    EXPECT_EQ(ctx.cat.AudioSlots[1], 0x81);
    EXPECT_EQ(ctx.cat.AudioSlots[2], 0x1C1);
    EXPECT_EQ(ctx.cat.VideoSlots[1], 0xE2);

    MemoryStream &a0 = out(1, 0), &a1 = out(1, 1), &a2 = out(1, 2), &v0 = out(0, 0),
                 &v1 = out(0, 1), &s0 = out(2, 0), &s1 = out(2, 1), &s2 = out(2, 2);
    demuxPass(file);
    EXPECT_EQ(a1.data, cat({data(5, 1), data(5, 11)}));
    EXPECT_EQ(a0.data, data(6, 2));
    EXPECT_EQ(a2.data, data(5, 10));
    EXPECT_EQ(v0.data, data(7, 3));
    EXPECT_EQ(v1.data, data(8, 4));
    EXPECT_EQ(s0.data, data(4, 6));
    EXPECT_EQ(s1.data, data(3, 7));
    EXPECT_EQ(s2.data, data(3, 9));
}

TEST_F(Demux, SubStream0xA1IsMlpOnlyInAobSources) {
    ctx.ui.cbDetails = true;
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
    ctx.ui.eEVOfile = "/media/disc.aob/FEATURE.EVO";
    EXPECT_FALSE(isAobSource(ctx.job.source)) << "only the file name's own extension counts";
}

TEST_F(Demux, DtsHeaderIsDecodedPastTheEndOfItsPayload) {
    // The core header after the sync word runs into the padding packet that follows.
    ctx.ui.cbDetails = true;
    readPass(cat({priv(0x88, {0x11, 0x22, 0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0x7D, 0xC2, 0x75,
                              0xE0, 0x04, 0x39}),
                  pes(0xBE, data(16))}));
    ASSERT_GE(host.lines.size(), 2u);
    EXPECT_EQ(host.lines[host.lines.size() - 2], "   Encoder software rev. = 7, Current");
    EXPECT_EQ(host.lines.back().rfind("   Source PCM resolution = ", 0), 0u);
}

TEST_F(Demux, SkippedPacketsHideTheStartCodesInside) {
    const Bytes fake = pes(0xE1, data(4));
    for (int id : {0xBC, 0xBE, 0xBF}) {
        SCOPED_TRACE(id);
        Bytes skipped = {
            0x00, 0x00, 0x01, static_cast<uint8_t>(id), 0x00, static_cast<uint8_t>(fake.size())};
        skipped.insert(skipped.end(), fake.begin(), fake.end());
        host.lines.clear();
        readPass(cat({skipped, pes(0xBE, {}), priv(0x82, data(4))}));
        EXPECT_EQ(engineLines(), Lines{"Dolby Digital audio stream 2 found!"});
    }
}

TEST_F(Demux, HeaderFieldsAreParsedOrPassedOver) {
    // Stuffing, P-STD and bare extension flag bytes: the payload starts where it should.
    const Bytes pl = data(12, 9);
    const Bytes ac3 = subFor(0x83);
    auto make = [&](uint8_t id, auto setup) {
        Pes p;
        p.streamId = id;
        p.payload = pl;
        setup(p);
        return pesBytes(p);
    };
    const Bytes file = cat({
        make(0xE0, [](Pes& p) { p.pts = 0x100, p.dts = 0x80, p.pstd = true, p.stuffing = 3; }),
        make(0xE0, [](Pes& p) { p.extensionOnly = true; }),
        make(0xE0, [](Pes& p) { p.pstd = true, p.stuffing = 2; }),
        // With a PTS, the extension of a private-stream-1 header is passed over as stuffing.
        make(0xBD,
             [&](Pes& p) { p.pts = 0x200, p.pstd = true, p.stuffing = 1, p.subHeader = ac3; }),
        make(0xBD, [&](Pes& p) { p.extensionOnly = true, p.subHeader = ac3; }),
        make(0xFD,
             [](Pes& p) {
                 p.pts = 0x300, p.dts = 0x280, p.streamIdExt = 0x55, p.pstd = true, p.stuffing = 4;
             }),
        // The extension byte's top bit is a flag, not part of the id.
        [&] {
            Bytes vc1 = make(0xFD, [](Pes& p) { p.streamIdExt = 0x55; });
            vc1[11] |= 0x80;
            return vc1;
        }(),
    });
    MemoryStream &v0 = out(0, 0), &v1 = out(0, 1), &a3 = out(1, 3);
    demuxPass(file);
    EXPECT_EQ(v0.data, cat({pl, pl, pl}));
    EXPECT_EQ(v1.data, cat({pl, pl})) << "VC-1 beside MPEG-2 video takes the other slot";
    EXPECT_EQ(a3.data, cat({pl, pl}));
}

TEST_F(Demux, PacketShorterThanItsHeaderHasNoPayload) {
    for (uint16_t length : {uint16_t{0}, uint16_t{3}, uint16_t{5}, uint16_t{8}}) {
        SCOPED_TRACE(length);
        Pes shortPes;
        shortPes.streamId = 0xE0;
        shortPes.pts = 0x1234;
        shortPes.payload = data(6);
        shortPes.lengthOverride = length;
        host.lines.clear();
        ctx.io.closeOutputs();
        MemoryStream &v0 = out(0, 0), &a0 = out(1, 0);
        demuxPass(cat({pesBytes(shortPes), priv(0x80, data(10, 3), 0x500)}));
        EXPECT_TRUE(v0.data.empty());
        EXPECT_EQ(a0.data, data(10, 3)) << "parsing resumes at the next start code";
    }
    // A length two bytes beyond the header: exactly those two bytes are payload.
    Pes p;
    p.streamId = 0xE0;
    p.pts = 0x1234;
    p.payload = data(6);
    p.lengthOverride = 10;
    ctx.io.closeOutputs();
    MemoryStream& v0 = out(0, 0);
    demuxPass(cat({pesBytes(p), priv(0x80, data(10, 3))}));
    EXPECT_EQ(v0.data, data(2));

    // A private-stream-1 packet that its header fills names no sub-stream: stray bytes
    // after it are not taken for one.
    Pes filled;
    filled.streamId = 0xBD;
    filled.pts = 0x1234;
    host.lines.clear();
    readPass(cat({pesBytes(filled), {0x20, 0x00, 0x00, 0x00}, priv(0x80, data(10, 3))}));
    EXPECT_EQ(engineLines(), Lines{"Dolby Digital audio stream 0 found!"});
}

TEST_F(Demux, HeaderCutShortByTheNextStartCode) {
    // A PES header broken off inside its PTS/DTS pair: the counters stop at the next start
    // code, so the packet after it is read from its own header.
    Bytes cut = pes(0xE0, data(4), 0x1000, 0x900);
    cut.resize(9 + 6);
    ctx.ui.cbDetails = true;
    const Bytes file = cat({cut, priv(0x80, {0x0B, 0x77, 0x01}, 0x15F90)});
    readPass(file);
    EXPECT_EQ(engineLines(),
              (Lines{"MPEG-2 video stream 0 found!", "Dolby Digital audio stream 0 found!",
                     "   First PTS = 00015F90", "   Stream id = 80"}));
    MemoryStream& a0 = out(1, 0);
    demuxPass(file);
    EXPECT_EQ(a0.data, (Bytes{0x0B, 0x77, 0x01}));
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
    const std::vector<Case> cases = {
        {"MPEG-2 with PTS and DTS takes its own PTS",
         pes(0xE0, v, 0x1000, 0xF00),
         {"MPEG-2 video stream 0 found!", "   First PTS = 00001000", "   Stream id = E0"}},
        {"MPEG-2 with a lone PTS takes its own",
         cat({pes(0xC1, v, 0x2222), pes(0xE0, v, 0x3333)}),
         {"MPEG audio stream 1 found!", "   First PTS = 00002222", "   Stream id = C1",
          "MPEG-2 video stream 0 found!", "   First PTS = 00003333", "   Stream id = E0"}},
        {"H.264 with a lone PTS takes its own",
         cat({pes(0xE1, v, 0x100, 0x80), pes(0xE2, v, 0x3333)}),
         {"MPEG-2 video stream 1 found!", "   First PTS = 00000100", "   Stream id = E1",
          "H.264 (AVC) video stream 0 found!", "   First PTS = 00003333", "   Stream id = E2"}},
        {"a first packet without PTS takes the one before",
         cat({pes(0xC1, v, 0x2222), pes(0xE0, v)}),
         {"MPEG audio stream 1 found!", "   First PTS = 00002222", "   Stream id = C1",
          "MPEG-2 video stream 0 found!", "   First PTS = 00002222", "   Stream id = E0"}},
        {"H.264 with PTS and DTS",
         pes(0xE3, v, 0x3333, 0x3000),
         {"H.264 (AVC) video stream 1 found!", "   First PTS = 00003333", "   Stream id = E3"}},
        {"VC-1 takes the PTS of the header that carries its extension",
         vc1(0x55, v, 0x4444),
         {"VC-1 video stream 0 found!", "   First PTS = 00004444", "   Stream id = 55"}},
        {"VC-1 with P-STD field",
         vc1(0x56, v, 0x4445, true),
         {"VC-1 video stream 1 found!", "   First PTS = 00004445", "   Stream id = 56"}},
        {"audio header clears CurPTS",
         cat({priv(0x80, v, 0x15F90), pes(0xE0, v)}),
         {"Dolby Digital audio stream 0 found!", "   First PTS = 00015F90", "   Stream id = 80",
          "MPEG-2 video stream 0 found!", "   First PTS = 00000000", "   Stream id = E0"}},
        {"ignored sub-stream clears CurPTS too",
         cat({pes(0xC0, v, 0x7777), priv(0xFF, v), pes(0xE0, v)}),
         {"MPEG audio stream 0 found!", "   First PTS = 00007777", "   Stream id = C0",
          "MPEG-2 video stream 0 found!", "   First PTS = 00000000", "   Stream id = E0"}},
        {"padding and MPEG audio keep CurPTS",
         cat({pes(0xC0, v, 0x7777), pes(0xBE, v), pes(0xE0, v)}),
         {"MPEG audio stream 0 found!", "   First PTS = 00007777", "   Stream id = C0",
          "MPEG-2 video stream 0 found!", "   First PTS = 00007777", "   Stream id = E0"}},
        {"second audio stream without PTS",
         cat({priv(0x80, v, 0x1000), priv(0x81, v)}),
         {"Dolby Digital audio stream 0 found!", "   First PTS = 00001000", "   Stream id = 80",
          "Dolby Digital audio stream 1 found!", "   First PTS = 00000000", "   Stream id = 81"}},
        {"CurPTS takes the PTS of a pair, not the DTS",
         cat({pes(0xE2, v, 0x100, 0x50), pes(0xE1, v)}),
         {"H.264 (AVC) video stream 0 found!", "   First PTS = 00000100", "   Stream id = E2",
          "MPEG-2 video stream 1 found!", "   First PTS = 00000100", "   Stream id = E1"}},
        {"subpicture clears CurPTS in a read pass",
         cat({priv(0x20, rle8, 0x5555), pes(0xE0, v)}),
         {"Subpicture stream 0 found!", "   First PTS = 00005555", "   Stream id = 20",
          "   Format = 8bitRLE", "MPEG-2 video stream 0 found!", "   First PTS = 00000000",
          "   Stream id = E0"}},
        {"extended subpicture keeps CurPTS",
         cat({priv(0x62, rle8, 0x5555), pes(0xE0, v)}),
         {"Extended subpicture stream 2 found!", "   First PTS = 00005555", "   Stream id = 62",
          "   Format = 8bitRLE", "MPEG-2 video stream 0 found!", "   First PTS = 00005555",
          "   Stream id = E0"}},
        {"bit 32 of the time stamp is dropped",
         pes(0xE0, v, 0x123456789, 0x123450000),
         {"MPEG-2 video stream 0 found!", "   First PTS = 23456789", "   Stream id = E0"}},
        {"MPEG audio takes its own header's PTS",
         cat({pes(0xE0, v, 0x100, 0x80), pes(0xC3, v, 0x200)}),
         {"MPEG-2 video stream 0 found!", "   First PTS = 00000100", "   Stream id = E0",
          "MPEG audio stream 3 found!", "   First PTS = 00000200", "   Stream id = C3"}},
        {"an empty first run still gives the heading",
         cat({pes(0xE0, {}, 0x100, 0x80), priv(0x81, {}, 0x300), priv(0x20, {}, 0x400)}),
         {"MPEG-2 video stream 0 found!", "   First PTS = 00000100", "   Stream id = E0",
          "Dolby Digital audio stream 1 found!", "   First PTS = 00000300", "   Stream id = 81",
          "Subpicture stream 0 found!", "   First PTS = 00000400", "   Stream id = 20",
          "   Format = 2bitRLE"}},
    };
    ctx.ui.cbDetails = true;
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
        ctx.ui.cbDetails = details;
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
    ctx.ui.cbDetails = true;
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
    ctx.ui.cbDetails = true;
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

// ---------------------------------------------------------------------------------------
// Frame counting

TEST_F(Demux, FramesAreCountedWithThePatternOfTheVideoKind) {
    const Bytes mpeg2 = cat({frames(0xB3, 1), frames(0x00, 2), frames(0x09, 1)});
    const Bytes h264 = cat({frames(0x09, 4), frames(0x00, 1)});
    const Bytes file = cat({pes(0xE0, mpeg2), pes(0xE3, h264)});
    readPass(file);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{2, 4}));
    readPass(vc1(0x56, cat({frames(0x0D, 3), frames(0x00, 1)})));
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{2, 7})) << "counts run on across passes";

    ctx.cat.FrameCount = {0, 0};
    ctx.ui.cbCountFr = false;
    readPass(file);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{0, 0}));

    ctx.ui.cbCountFr = true;
    out(0, 0);
    ctx.ui.cbVideo[1].checked = true; // ticked without an output file
    demuxPass(file);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{2, 0})) << "only written slots count";
}

TEST_F(Demux, PatternSplitBetweenPacketsCountsOnce) {
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

TEST_F(Demux, VideoWithoutStreamIsIgnored) {
    // An extended-stream packet names its stream only by its stream id extension: without
    // one, or with an unknown one, its payload belongs to no stream (not to the last one).
    const Bytes vc1Frames = frames(0x0D, 2);
    const Bytes file = cat({pes(0xFD, vc1Frames), vc1(0x57, vc1Frames), pes(0xE1, data(3)),
                            pes(0xFD, vc1Frames), vc1(0x57, vc1Frames)});
    ctx.ui.cbDetails = true;
    readPass(file);
    EXPECT_EQ(engineLines(), (Lines{"MPEG-2 video stream 1 found!", "   First PTS = 00000000",
                                    "   Stream id = E1"}));
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{0, 0}));

    MemoryStream &v0 = out(0, 0), &v1 = out(0, 1);
    demuxPass(file);
    EXPECT_TRUE(v0.data.empty());
    EXPECT_EQ(v1.data, data(3));
}

// ---------------------------------------------------------------------------------------
// Output

TEST_F(Demux, DemuxPassWritesTickedPayloadsOnly) {
    const Bytes file =
        cat({priv(0x80, data(10, 1), 0x100), pes(0xC0, data(15, 6), 0x200), priv(0xA1, data(11, 2)),
             priv(0xB2, data(12, 3)), priv(0xC3, data(13, 4)), priv(0x8C, data(14, 5)),
             priv(0x90, data(16, 7)), priv(0x85, data(17, 8)), pes(0xE0, data(18, 9)),
             priv(0x80, data(19, 10)), priv(0x20, data(20, 11)), priv(0x30, data(21, 12))});
    MemoryStream &a0 = out(1, 0), &a1 = out(1, 1), &a2 = out(1, 2), &a3 = out(1, 3),
                 &a4 = out(1, 4), &a5 = out(1, 5), &a6 = out(1, 6), &v0 = out(0, 0),
                 &s0 = out(2, 0);
    ctx.ui.cbAudio[6].checked = false; // unticked after the job made its output
    ctx.ui.cbAudio[7].checked = true;  // ticked, but the job made no output
    demuxPass(file);
    // Every stream has a slot of its own (index 0 being taken, the next free ones); the
    // unknown sub-stream 0x90 reaches none.
    EXPECT_EQ(a0.data, cat({data(10, 1), data(19, 10)}));
    EXPECT_EQ(a1.data, data(15, 6)) << "MPEG audio: no sub-stream header";
    EXPECT_EQ(a2.data, data(11, 2)) << "LPCM: 7-byte header";
    EXPECT_EQ(a3.data, data(12, 3)) << "TrueHD: 5-byte header";
    EXPECT_EQ(a4.data, data(13, 4));
    EXPECT_EQ(a5.data, data(14, 5));
    EXPECT_EQ(a6.data, data(17, 8)) << "the outputs decide, not the boxes";
    EXPECT_EQ(v0.data, data(18, 9));
    EXPECT_EQ(s0.data, data(20, 11)) << "0x30 takes slot 16, which has no box and no file";
    EXPECT_TRUE(ctx.control.writing());
}

TEST_F(Demux, MuxedTitleComesBackUnchanged) {
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

    MemoryStream &v0 = out(0, 0), &a2 = out(1, 2), &s10 = out(2, 10);
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

TEST_F(Demux, SubpictureRecords) {
    struct Case {
        const char* what;
        uint32_t earliest;
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
        MemoryStream &s0 = out(2, 0), &s1 = out(2, 1);
        ctx.cat.EarliestPTS = c.earliest;
        demuxPass(c.file);
        EXPECT_EQ(s0.data, c.slot0);
        EXPECT_EQ(s1.data, c.slot1);
    }
}

// Runs and record headers of one block are gathered per output and written in bunches:
// more of them than one bunch holds come out whole and in order.
TEST_F(Demux, ManyRecordsAndRunsInOneBlock) {
    Bytes file, sup, video;
    for (uint32_t i = 0; i < 300; ++i) {
        const auto seed = static_cast<uint8_t>(i);
        file = cat({file, priv(0x20, data(5, seed), 0x1000 + i), pes(0xE0, data(7, seed))});
        sup = cat({sup, spHeader(0x1000 + i), data(5, seed)});
        video = cat({video, data(7, seed)});
    }
    ASSERT_LT(file.size(), kBlockSize);
    MemoryStream &s0 = out(2, 0), &v0 = out(0, 0);
    ctx.cat.EarliestPTS = 0xFFFFFFFF;
    demuxPass(file);
    EXPECT_EQ(s0.data, sup);
    EXPECT_EQ(v0.data, video);
}

TEST_F(Demux, WriteErrorEndsThePass) {
    MemoryStream& v0 = out(0, 0);
    v0.failAfter = 10;
    try {
        demuxPass(cat({pes(0xE0, data(100)), pes(0xE0, data(100))}));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(v0.writes, 0);
    EXPECT_FALSE(ctx.ui.bCancel);
}

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
    std::array<int32_t, 16> video, audio;
    std::array<int32_t, 32> sub;
    uint32_t earliest;
    std::array<int32_t, 2> readFrames, demuxFrames;
    std::vector<Bytes> outputs; // video 0-1, audio 0-2, sub 1 and 3

    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    for (const auto& l : o.lines) *os << l << " | ";
    *os << " frames " << o.readFrames[0] << "/" << o.readFrames[1];
}

Outcome runProbe(const Probe& pr, size_t start) {
    RecordingHost host;
    Session ctx(host);
    const Bytes file = cat({filler(start), pr.bytes});
    ctx.ui.eEVOfile = "probe.EVO";
    ctx.ui.cbDetails = true; // the analysers see split first runs too
    ctx.cat.EarliestPTS = 0xFFFFFFFF;
    ctx.io.SourceStream = std::make_unique<MemoryStream>(file);
    ctx.job = jobRequest(ctx.ui);
    demux(ctx, kReadPass);
    Outcome o;
    for (const auto& l : host.lines)
        if (isEngineLine(plainText(l))) o.lines.push_back(plainText(l));
    o.video = ctx.cat.VideoSlots, o.audio = ctx.cat.AudioSlots, o.sub = ctx.cat.SubSlots;
    o.earliest = ctx.cat.EarliestPTS;
    o.readFrames = ctx.cat.FrameCount;

    ctx.cat.FrameCount = {0, 0};
    std::vector<MemoryStream*> outs;
    auto give = [&](std::unique_ptr<Stream>& slot, CheckBox& box) {
        auto s = std::make_unique<MemoryStream>();
        outs.push_back(s.get());
        slot = std::move(s);
        box.checked = true;
    };
    give(ctx.io.VideoOut[0], ctx.ui.cbVideo[0]);
    give(ctx.io.VideoOut[1], ctx.ui.cbVideo[1]);
    for (int a = 0; a < 3; ++a) give(ctx.io.AudioOut[a], ctx.ui.cbAudio[a]);
    give(ctx.io.SubOut[1], ctx.ui.cbSub[1]);
    give(ctx.io.SubOut[3], ctx.ui.cbSub[3]);
    ctx.io.SourceStream = std::make_unique<MemoryStream>(file);
    ctx.job = jobRequest(ctx.ui);
    ctx.job.output.pcm = OutputChoices::Pcm::Raw; // the payloads as they are
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
    EXPECT_EQ(o.video[0], 0xE0);
    EXPECT_EQ(o.video[1], 0x56);
    EXPECT_EQ(o.audio[2], 0xB2);
    EXPECT_EQ(o.audio[3], 0x1C0);
    EXPECT_EQ(o.sub[3], 0x63);
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
        RecordingHost host;
        Session ctx(host);
        ctx.io.SourceStream =
            std::make_unique<MemoryStream>(cat({filler(kBlockSize - k), skipped, rest}));
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, kReadPass);
        EXPECT_EQ(ctx.cat.AudioSlots[0], 0x80);
    }
}

TEST_F(Demux, PayloadAcrossTheBoundaryIsWrittenAsTwoRuns) {
    const Bytes payload = data(300, 7);
    MemoryStream& v0 = out(0, 0);
    demuxPass(cat({filler(kBlockSize - 100), pes(0xE0, payload, 0x10, 0x5)}));
    EXPECT_EQ(v0.data, payload);
    EXPECT_EQ(v0.writes, 2);
}

// ---------------------------------------------------------------------------------------
// The block loop: system header, progress, cancel, read errors, fast check

TEST_F(Demux, SystemHeaderLine) {
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
        ctx.job = jobRequest(ctx.ui);
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

TEST_F(Demux, ProgressEvery4MiB) {
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
        ctx.job = jobRequest(ctx.ui);
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

TEST_F(Demux, CancelStopsAtTheEndOfTheBlockOfThePump) {
    const std::string path = dir / "big.EVO";
    sparseFile(path, 8 * 1048576, {{0, pes(0xE0, frames(0x00, 3))}});
    bool buttonOnDuringPass = false;
    out(0, 0); // so that a demux pass counts too
    host.onPump = [&] {
        buttonOnDuringPass = ctx.ui.bCancel;
        bCancelClick(ctx);
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
        host.questions.clear();
        host.answer = c.answer;
        ctx.cat.FrameCount = {0, 0};
        ctx.control.requestStop(StopReason::Cancel); // cleared by the pass
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, c.mode);
        EXPECT_EQ(ctx.io.SourceStream->position(), c.endsAt);
        EXPECT_EQ(host.questions, Lines(c.questions, "Are you sure to stop demuxing?"));
        EXPECT_EQ(ctx.control.stopRequested(), c.endsAt != 8 * 1048576);
        EXPECT_EQ(ctx.cat.FrameCount[0], ctx.control.stopRequested() ? 0 : 3) << "zeroed on cancel";
        EXPECT_EQ(ctx.control.writing(), c.mode == kDemuxPass);
        EXPECT_TRUE(buttonOnDuringPass);
        EXPECT_FALSE(ctx.ui.bCancel);
    }
}

TEST_F(Demux, PassStartResetsTheCatalogueButNotTheFrameCounts) {
    ctx.cat.VideoSlots[0] = 1;
    ctx.cat.AudioSlots[15] = 0x8F;
    ctx.cat.SubSlots[31] = 0x3F;
    ctx.cat.FrameCount = {5, 6};
    readPass({});
    for (int32_t e : ctx.cat.VideoSlots) EXPECT_EQ(e, -1);
    for (int32_t e : ctx.cat.AudioSlots) EXPECT_EQ(e, -1);
    for (int32_t e : ctx.cat.SubSlots) EXPECT_EQ(e, -1);
    EXPECT_EQ(ctx.cat.FrameCount, (std::array<int32_t, 2>{5, 6}));
}

TEST_F(Demux, ReadDeliveringNothingBeforeTheEndIsAnError) {
    auto src = std::make_unique<MemoryStream>(cat({priv(0x80, data(4)), Bytes(kBlockSize, 0)}));
    src->reportedSize = static_cast<int64_t>(src->data.size()) + 100;
    ctx.io.SourceStream = std::move(src);
    try {
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, kReadPass);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(host.lines, Lines{"[b]Dolby Digital[/b] audio stream 0 found!"});
    EXPECT_FALSE(ctx.ui.bCancel);
}

TEST_F(Demux, FastCheckStopsAfterTheBlockEndingPast300MB) {
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
    out(0, 0); // so that a demux pass counts too
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
        ctx.ui.cbFastCheck = c.fastCheck;
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, c.mode);
        const bool stopped = c.endsAt < c.size;
        EXPECT_EQ(ctx.io.SourceStream->position(), c.endsAt);
        EXPECT_EQ(ctx.control.stopRequested(), stopped);
        EXPECT_EQ(ctx.cat.FrameCount[0], stopped ? 0 : 3);
        EXPECT_EQ(host.pumps, c.endsAt / kPumpInterval);
        EXPECT_EQ(ctx.cat.AudioSlots[0], 0x1C0);
        EXPECT_EQ(ctx.cat.AudioSlots[1], 0x80);
        EXPECT_EQ(ctx.cat.AudioSlots[2], after && !stopped ? 0x81 : -1);
        if (c.mode == kReadPass) {
            EXPECT_EQ(host.lines.size(), after && !stopped ? 4u : 3u) << "no message for the stop";
        }
    }
}

} // namespace
} // namespace qf::test
