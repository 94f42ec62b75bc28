#include "engine/packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "samples/pswriter.h"

namespace qf {
namespace {

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Pads the bytes to a 2048-byte pack with a padding packet.
Bytes padded(Bytes b) {
    const Bytes pad = paddingPacket(kPackSize - b.size());
    b.insert(b.end(), pad.begin(), pad.end());
    return b;
}

Pes pes(uint8_t id, std::optional<uint64_t> pts, std::optional<uint64_t> dts, size_t payload) {
    Pes p;
    p.streamId = id;
    p.pts = pts;
    p.dts = dts;
    p.payload.assign(payload, 0x5A);
    return p;
}

// An MPEG-1 pack header: '0010', the SCR as a time-stamp field, the mux rate.
Bytes mpeg1PackHeader(uint64_t scr, uint32_t muxRate) {
    Bytes p = {0x00, 0x00, 0x01, 0xBA};
    putTimestamp(p, 0x2, scr);
    p.push_back(static_cast<uint8_t>(0x80 | (muxRate >> 15)));
    p.push_back(static_cast<uint8_t>(muxRate >> 7));
    p.push_back(static_cast<uint8_t>((muxRate << 1) | 1));
    return p;
}

// An MPEG-1 packet: two stuffing bytes, an STD buffer field, then `fields`.
Bytes mpeg1Pes(uint8_t id, const Bytes& fields, size_t payload) {
    const size_t length = 2 + 2 + fields.size() + payload;
    Bytes p = {
        0x00, 0x00, 0x01, id,  static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
        0xFF, 0xFF, 0x60, 0x2E};
    p.insert(p.end(), fields.begin(), fields.end());
    p.insert(p.end(), payload, 0x33);
    return p;
}

// A system header of `entries` stream entries (header_length 6 + 3 per entry).
Bytes systemHeaderWith(int entries, uint32_t rateBound, int audioBound, int videoBound) {
    const size_t length = 6 + 3 * static_cast<size_t>(entries);
    Bytes s = {0x00,
               0x00,
               0x01,
               0xBB,
               static_cast<uint8_t>(length >> 8),
               static_cast<uint8_t>(length),
               static_cast<uint8_t>(0x80 | (rateBound >> 15)),
               static_cast<uint8_t>(rateBound >> 7),
               static_cast<uint8_t>((rateBound << 1) | 1),
               static_cast<uint8_t>((audioBound << 2) | 0x01),
               static_cast<uint8_t>(0xE0 | videoBound),
               0x7F};
    for (int k = 0; k < entries; ++k) s.insert(s.end(), {0xBD, 0xE0, 0x3A});
    return s;
}

constexpr uint64_t kLateScr = 0x1ABCDEF01; // bit 32 set
constexpr uint64_t kLatePts = 0x1FFFFFFFF; // the largest 33-bit value

TEST(PackReader, PackHeadersWithStuffingAndMpeg1) {
    const Bytes video = pesBytes(pes(0xE0, kLatePts, 0x100000000, 100));
    struct Case {
        Bytes header;
        bool mpeg1;
        uint32_t length;
        uint8_t stuffing;
        uint32_t muxRate;
    };
    std::vector<Case> cases;
    for (int k = 0; k <= 7; ++k)
        cases.push_back({packHeader(kLateScr, 25200, k), false, 14u + static_cast<uint32_t>(k),
                         static_cast<uint8_t>(k), 25200});
    cases.push_back({mpeg1PackHeader(kLateScr, 3500), true, 12, 0, 3500});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stuffing " << int{c.stuffing} << " mpeg1 " << c.mpeg1);
        const Bytes pack = padded(join({c.header, video}));
        const PackPackets pp = readPack(pack);
        EXPECT_EQ(pp.status, PackStatus::Complete);
        EXPECT_EQ(pp.end, kPackSize);
        EXPECT_EQ(pp.header.mpeg1, c.mpeg1);
        EXPECT_EQ(pp.header.length, c.length);
        EXPECT_EQ(pp.header.stuffing, c.stuffing);
        EXPECT_EQ(pp.header.scrBase, kLateScr);
        EXPECT_EQ(pp.header.scrExtension, 0);
        EXPECT_EQ(pp.header.muxRate, c.muxRate);
        EXPECT_FALSE(pp.hasSystemHeader);
        ASSERT_EQ(pp.count, 2u);
        const PesPacket& v = pp.packets[0];
        EXPECT_EQ(v.offset, c.length);
        EXPECT_EQ(v.streamId, 0xE0);
        EXPECT_EQ(v.headerLength, 3u + 10u);
        EXPECT_EQ(v.payloadOffset, c.length + 6 + 13);
        EXPECT_EQ(v.payloadLength, 100u);
        EXPECT_TRUE(v.hasPts && v.hasDts);
        EXPECT_EQ(v.pts, kLatePts);
        EXPECT_EQ(v.dts, 0x100000000u);
        EXPECT_EQ(pp.packets[1].streamId, kPaddingStream);
        EXPECT_EQ(pp.packets[1].offset + pp.packets[1].length, kPackSize);
    }
}

TEST(PackReader, TimeStampsAndSubStreamIds) {
    Pes audio = pes(0xBD, 90000, std::nullopt, 50);
    audio.subHeader = subHeaderAudio(0x81);
    Pes vc1 = pes(0xFD, 1234, 1000, 60);
    vc1.streamIdExt = 0x55;
    vc1.pstd = true;
    Pes stuffed = pes(0xC0, 77, std::nullopt, 10);
    stuffed.stuffing = 4;
    const struct {
        const char* name;
        Bytes packet;
        uint8_t streamId;
        bool mpeg1, hasPts, hasDts;
        uint64_t pts, dts;
        uint32_t headerLength;
        int subIdAt; // from the packet's start, -1 none
        uint8_t subId;
    } cases[] = {
        {"no time stamp", pesBytes(pes(0xE0, {}, {}, 20)), 0xE0, false, false, false, 0, 0, 3, -1,
         0},
        {"PTS only", pesBytes(pes(0xE1, kLatePts, {}, 20)), 0xE1, false, true, false, kLatePts, 0,
         8, -1, 0},
        {"PTS and DTS", pesBytes(pes(0xE0, 3003, 0, 20)), 0xE0, false, true, true, 3003, 0, 13, -1,
         0},
        {"header stuffing", pesBytes(stuffed), 0xC0, false, true, false, 77, 0, 12, -1, 0},
        {"private stream 1", pesBytes(audio), 0xBD, false, true, false, 90000, 0, 8, 14, 0x81},
        // Flag byte, P-STD buffer, extension field length, then the stream id extension.
        {"extended stream", pesBytes(vc1), 0xFD, false, true, true, 1234, 1000, 3 + 10 + 1 + 2 + 2,
         6 + 3 + 10 + 1 + 2 + 1, 0x55},
        {"private stream 2",
         {0x00, 0x00, 0x01, 0xBF, 0x00, 0x02, 0x01, 0xAA},
         0xBF,
         false,
         false,
         false,
         0,
         0,
         0,
         6,
         0x01},
        {"MPEG-1 none", mpeg1Pes(0xC0, {0x0F}, 30), 0xC0, true, false, false, 0, 0, 5, -1, 0},
        {"MPEG-1 PTS",
         [] {
             Bytes f;
             putTimestamp(f, 0x2, 0x123456789);
             return mpeg1Pes(0xC0, f, 30);
         }(),
         0xC0, true, true, false, 0x123456789, 0, 9, -1, 0},
        {"MPEG-1 PTS and DTS",
         [] {
             Bytes f;
             putTimestamp(f, 0x3, kLatePts);
             putTimestamp(f, 0x1, 5);
             return mpeg1Pes(0xE0, f, 30);
         }(),
         0xE0, true, true, true, kLatePts, 5, 14, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes head = packHeader(0, 25200, 2);
        const PackPackets pp = readPack(padded(join({head, c.packet})));
        EXPECT_EQ(pp.status, PackStatus::Complete);
        ASSERT_EQ(pp.count, 2u);
        const PesPacket& p = pp.packets[0];
        const uint32_t at = static_cast<uint32_t>(head.size());
        EXPECT_EQ(p.offset, at);
        EXPECT_EQ(p.streamId, c.streamId);
        EXPECT_EQ(p.length, c.packet.size());
        EXPECT_TRUE(p.headerRead);
        EXPECT_FALSE(p.truncated);
        EXPECT_EQ(p.mpeg1, c.mpeg1);
        EXPECT_EQ(p.headerLength, c.headerLength);
        EXPECT_EQ(p.payloadOffset, at + 6 + c.headerLength);
        EXPECT_EQ(p.payloadOffset + p.payloadLength, at + c.packet.size());
        EXPECT_EQ(p.hasPts, c.hasPts);
        EXPECT_EQ(p.hasDts, c.hasDts);
        EXPECT_EQ(p.pts, c.hasPts ? c.pts : 0);
        EXPECT_EQ(p.dts, c.hasDts ? c.dts : 0);
        EXPECT_EQ(p.hasSubId, c.subIdAt >= 0);
        if (c.subIdAt >= 0) {
            EXPECT_EQ(p.subIdAt, at + static_cast<uint32_t>(c.subIdAt));
            EXPECT_EQ(p.subId, c.subId);
        }
    }
}

// A system header of any length, with a packet after it in the same pack.
TEST(PackReader, SystemHeadersOfAnyLengthAndThePacketAfter) {
    for (int entries : {0, 1, 2, 5, 17}) {
        SCOPED_TRACE(entries);
        const Bytes sys = systemHeaderWith(entries, 0x3FFFFF, 33, 17);
        Pes audio = pes(0xBD, 90000, {}, 40);
        audio.subHeader = subHeaderAudio(0xC2);
        const PackPackets pp =
            readPack(padded(join({packHeader(0, 25200, 5), sys, pesBytes(audio)})));
        EXPECT_EQ(pp.status, PackStatus::Complete);
        ASSERT_TRUE(pp.hasSystemHeader);
        EXPECT_EQ(pp.system.offset, 19u);
        EXPECT_EQ(pp.system.length, sys.size());
        EXPECT_EQ(pp.system.rateBound, 0x3FFFFFu);
        EXPECT_EQ(pp.system.audioBound, 33);
        EXPECT_EQ(pp.system.videoBound, 17);
        EXPECT_EQ(pp.system.audioBoundAt, 19u + 9);
        EXPECT_EQ(pp.system.videoBoundAt, 19u + 10);
        ASSERT_EQ(pp.count, 2u);
        EXPECT_EQ(pp.packets[0].offset, 19 + sys.size());
        EXPECT_EQ(pp.packets[0].subId, 0xC2);
        EXPECT_EQ(pp.packets[0].subIdAt, 19 + sys.size() + 6 + 8);
    }
}

// Every cut of a pack: nothing reported lies past the cut, and the walk is complete only
// where a header or packet ends.
TEST(PackReader, EveryCutStaysInsideTheBytesGiven) {
    Pes vc1 = pes(0xFD, 1234, 1000, 60);
    vc1.streamIdExt = 0x55;
    Pes audio = pes(0xBD, 90000, {}, 40);
    audio.subHeader = subHeaderAudio(0x88);
    const Bytes head = packHeader(0, 25200, 3), sys = systemHeaderWith(3, 1000, 1, 1),
                a = pesBytes(vc1), b = pesBytes(audio);
    const Bytes whole = padded(join({head, sys, a, b}));
    const std::vector<size_t> ends = {head.size(), head.size() + sys.size(),
                                      head.size() + sys.size() + a.size(),
                                      head.size() + sys.size() + a.size() + b.size(), kPackSize};
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        const PackPackets pp = readPack(cut);
        EXPECT_LE(pp.end, n);
        const bool atEnd = std::find(ends.begin(), ends.end(), n) != ends.end();
        if (n < 4) {
            EXPECT_EQ(pp.status, PackStatus::NotAPack);
            continue;
        }
        EXPECT_EQ(pp.status == PackStatus::Complete, atEnd) << int(pp.status);
        if (pp.hasSystemHeader) {
            EXPECT_LT(pp.system.videoBoundAt, n);
        }
        for (const PesPacket& p : pp.pes()) {
            EXPECT_LE(p.offset + 6, n);
            EXPECT_LE(p.payloadOffset + p.payloadLength, n);
            if (p.hasSubId) {
                EXPECT_LT(p.subIdAt, n);
            }
            EXPECT_EQ(p.truncated, p.offset + p.length > n);
        }
    }
}

TEST(PackReader, MalformedAndOverlongLengthsEndTheWalk) {
    const Bytes head = packHeader();
    auto withByte = [](Bytes b, size_t at, uint8_t v) {
        b.at(at) = v;
        return b;
    };
    const Bytes video = pesBytes(pes(0xE0, 9000, 9000, 20)); // header length 10 at byte 8
    const struct {
        const char* name;
        Bytes pack;
        PackStatus status;
        uint32_t count;
    } cases[] = {
        {"no pack start code", withByte(padded(head), 3, 0xBB), PackStatus::NotAPack, 0},
        {"neither MPEG-1 nor MPEG-2", withByte(padded(head), 4, 0x00), PackStatus::Malformed, 0},
        {"stuffing past the end",
         [] {
             Bytes h = packHeader(0, 25200, 7);
             h.resize(17);
             return h;
         }(),
         PackStatus::Truncated, 0},
        {"packet length past the end", join({head, withByte(video, 4, 0x40)}),
         PackStatus::Truncated, 1},
        {"header length past the packet", padded(join({head, withByte(video, 8, 0x30)})),
         PackStatus::Malformed, 1},
        {"time stamps past the header", padded(join({head, withByte(video, 8, 0x05)})),
         PackStatus::Malformed, 1},
        {"packet shorter than its flags",
         padded(join({head, withByte(withByte(video, 4, 0), 5, 2)})), PackStatus::Malformed, 1},
        {"system header too short for its bounds",
         padded(join({head, withByte(systemHeaderWith(0, 1, 1, 1), 5, 5)})), PackStatus::Malformed,
         0},
        {"bytes that start nothing", join({head, video, Bytes(40, 0x00)}), PackStatus::Unrecognised,
         1},
        {"an end code", join({head, video, {0x00, 0x00, 0x01, 0xB9}}), PackStatus::Complete, 1},
        {"the next pack", join({head, video, head}), PackStatus::Complete, 1},
        {"more packets than a pack holds",
         [&] {
             Bytes p = head;
             for (int k = 0; k < 10; ++k) p = join({p, paddingPacket(20)});
             return p;
         }(),
         PackStatus::TooManyPackets, static_cast<uint32_t>(kMaxPackPackets)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PackPackets pp = readPack(c.pack);
        EXPECT_EQ(pp.status, c.status);
        EXPECT_EQ(pp.count, c.count);
        EXPECT_LE(pp.end, c.pack.size());
        for (const PesPacket& p : pp.pes())
            EXPECT_LE(p.payloadOffset + p.payloadLength, c.pack.size());
    }
}

TEST(PackReader, PacketPastTheEndKeepsWhatWasGiven) {
    const Bytes head = packHeader();
    Pes audio = pes(0xBD, 90000, {}, 1000);
    audio.subHeader = subHeaderAudio(0xC1);
    const Bytes pkt = pesBytes(audio);
    const Bytes cut = join({head, Bytes(pkt.begin(), pkt.begin() + 100)});
    const PackPackets pp = readPack(cut);
    EXPECT_EQ(pp.status, PackStatus::Truncated);
    ASSERT_EQ(pp.count, 1u);
    const PesPacket& p = pp.packets[0];
    EXPECT_TRUE(p.truncated);
    EXPECT_TRUE(p.headerRead);
    EXPECT_EQ(p.length, pkt.size());
    EXPECT_EQ(p.payloadOffset + p.payloadLength, cut.size());
    EXPECT_EQ(p.subId, 0xC1);
    EXPECT_EQ(p.pts, 90000u);
}

} // namespace
} // namespace qf
