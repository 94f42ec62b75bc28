// The program-stream writer: exact byte layouts the other tests build on.
#include "samples/pswriter.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qf {
namespace {

TEST(PsWriter, PesPacketLayout) {
    Pes p;
    p.streamId = 0xBD;
    p.pts = 90000;
    p.subHeader = {0x80, 0x01, 0x00, 0x05};
    p.payload = {0x0B, 0x77, 0x00};
    EXPECT_EQ(pesBytes(p), (Bytes{0x00, 0x00, 0x01, 0xBD, 0x00, 0x0F, 0x81, 0x80, 0x05, 0x21, 0x00,
                                  0x05, 0xBF, 0x21, 0x80, 0x01, 0x00, 0x05, 0x0B, 0x77, 0x00}));

    Pes v;
    v.streamId = 0xFD;
    v.pts = 0x1FFFFFFFF;
    v.dts = 0;
    v.pstd = true;
    v.streamIdExt = 0x55;
    v.stuffing = 2;
    const Bytes b = pesBytes(v);
    EXPECT_EQ(b[7], 0xC1);
    EXPECT_EQ(b[8], 5 + 5 + 1 + 2 + 2 + 2);
    EXPECT_EQ(Bytes(b.begin() + 9, b.begin() + 14), (Bytes{0x3F, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(b.begin() + 14, b.begin() + 19), (Bytes{0x11, 0x00, 0x01, 0x00, 0x01}));
    EXPECT_EQ(Bytes(b.begin() + 19, b.end()), (Bytes{0x1F, 0x60, 0x00, 0x81, 0x55, 0xFF, 0xFF}));
    EXPECT_EQ(b[4] * 256 + b[5], static_cast<int>(b.size()) - 6);

    p.lengthOverride = 2;
    EXPECT_EQ(pesBytes(p)[5], 2);
    p.payload.assign(70000, 0);
    p.lengthOverride.reset();
    EXPECT_THROW(pesBytes(p), std::length_error);
}

TEST(PsWriter, PacksAndHeaders) {
    const Bytes pack = packHeader(0, 25200, 3);
    EXPECT_EQ(pack.size(), 14u + 3);
    EXPECT_EQ(Bytes(pack.begin(), pack.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xBA}));
    EXPECT_EQ(pack[13], 0xFB);

    const Bytes sys = systemHeader(3, 2);
    EXPECT_EQ(sys.size(), 18u);
    EXPECT_EQ(sys[9] >> 2, 3);
    EXPECT_EQ(sys[10] & 0x1F, 2);

    const Bytes nav = navPack(1, 1);
    ASSERT_EQ(nav.size(), kPackSize);
    EXPECT_EQ(nav[16], 0x01);
    EXPECT_EQ(nav[17], 0xBB);

    EXPECT_EQ(paddingPacket(6), (Bytes{0x00, 0x00, 0x01, 0xBE, 0x00, 0x00}));
    EXPECT_EQ(paddingPacket(300).size(), 300u);
    EXPECT_THROW(paddingPacket(5), std::invalid_argument);
}

TEST(PsWriter, MuxerFillsWholePacks) {
    PsMuxer mux;
    PsMuxer::Track video;
    video.units = {Bytes(5000, 0x11), Bytes(10, 0x22)};
    mux.add(video);
    PsMuxer::Track audio;
    audio.streamId = 0xBD;
    audio.subHeader = subHeaderAudio(0x80);
    audio.units = std::vector<Bytes>(40, Bytes(700, 0x33));
    mux.add(audio);
    const Bytes ps = mux.build();
    ASSERT_EQ(ps.size() % kPackSize, 0u);
    const size_t packs = ps.size() / kPackSize;
    for (size_t i = 0; i < packs; ++i) {
        const uint8_t* p = ps.data() + i * kPackSize;
        EXPECT_EQ(p[3], 0xBA) << i;
        EXPECT_EQ(i % 32 == 0, p[17] == 0xBB) << "navigation pack every 32 packs, at " << i;
    }
}

} // namespace
} // namespace qf
