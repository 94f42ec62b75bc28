// A read pass over one program stream that carries every codec: the engine must hand
// each stream's first payload to the right analyser, and the whole log must read as
// the sum of the announcements and the reports.
#include <gtest/gtest.h>

#include "engine/context.h"
#include "engine/demux.h"
#include "support/golden.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

Bytes sample(const std::string& name) {
    return readFile(std::string(QUILLFEN_TEST_DATA) + "/" + name);
}

PsMuxer::Track track(uint8_t sid, Bytes subHeader, const std::string& file, uint64_t pts) {
    PsMuxer::Track t;
    t.withDts = sid >= 0xE0; // video headers carry both, which sets the first video PTS
    t.streamId = sid;
    t.subHeader = std::move(subHeader);
    t.units = {sample(file)};
    t.ptsStart = pts;
    return t;
}

TEST(ReadReport, EveryCodecIsAnnouncedAndDescribed) {
    PsMuxer mux;
    mux.add(track(0xE2, {}, "h264_main_l30_720x576_25.264", 93600));
    mux.add(track(0xE1, {}, "mpeg2_720x480_23976_16x9.m2v", 97200));
    mux.add(track(0xBD, subHeaderAudio(0x80), "ac3_48k_448k_51.ac3", 90000));
    mux.add(track(0xBD, subHeaderAudio(0x89), "dts_48k_768k_51.dts", 90000));
    mux.add(track(0xBD, subHeaderLpcm(0xA2, 0x10, 0x01), "ac3_44k1_96k_mono.ac3", 90000));
    mux.add(track(0xBD, subHeaderTrueHD(0xB3), "truehd_48k_51.thd", 90000));
    mux.add(track(0xBD, subHeaderAudio(0xC4), "eac3_51.eac3", 90000));
    PsMuxer::Track sub = track(0xBD, subHeaderSub(0x25), "ac3_44k1_96k_mono.ac3", 180000);
    sub.units = {Bytes{0x00, 0x40, 0x00, 0x20, 0xAA}};
    mux.add(sub);
    TempDir dir;
    writeFile(dir / "ALL.EVO", mux.build(true, 5, 2));

    RecordingHost host;
    Session ctx(host);
    ctx.ui.eEVOfile = dir / "ALL.EVO";
    ctx.SourceStream = std::make_unique<FileStream>(ctx.ui.eEVOfile, FileStream::Mode::Read);
    ctx.EarliestPTS = 0xFFFFFFFF;
    demux(ctx, kReadPass);

    expectGolden(host.plainLog(), "all_codecs.log");
    EXPECT_EQ(ctx.EarliestPTS, 90000u);
    EXPECT_EQ(ctx.VideoSlots[0], 0xE2);
    EXPECT_EQ(ctx.VideoSlots[1], 0xE1);
    EXPECT_EQ(ctx.AudioSlots[0], 0x80);
    EXPECT_EQ(ctx.AudioSlots[1], 0x89);
    EXPECT_EQ(ctx.AudioSlots[2], 0xA2);
    EXPECT_EQ(ctx.AudioSlots[3], 0xB3);
    EXPECT_EQ(ctx.AudioSlots[4], 0xC4);
    EXPECT_EQ(ctx.SubSlots[5], 0x25);

    // The values scripts read: what each encoder was told.
    using Facts = std::vector<std::pair<std::string, FactValue>>;
    EXPECT_EQ(ctx.VideoFacts[0].values, (Facts{{"profile", "Main Profile"},
                                               {"level", "30"},
                                               {"width", 720.0},
                                               {"height", 576.0},
                                               {"frame_rate", 25.0}}));
    EXPECT_EQ(ctx.VideoFacts[1].values, (Facts{{"width", 720.0},
                                               {"height", 480.0},
                                               {"aspect", "16:9"},
                                               {"frame_rate", 24000.0 / 1001},
                                               {"bit_rate", 8000000.0}}));
    EXPECT_EQ(ctx.AudioFacts[0].values, (Facts{{"format", "Dolby Digital"},
                                               {"sampling_rate", 48000.0},
                                               {"bit_rate", 448000.0},
                                               {"channel_layout", "L + R + C + Ls + Rs"},
                                               {"channels", 6.0},
                                               {"lfe", 1.0}}));
    EXPECT_EQ(ctx.AudioFacts[1].number("channels"), 6);
    EXPECT_EQ(ctx.AudioFacts[1].number("bit_rate"), 768000);
    EXPECT_EQ(ctx.AudioFacts[3].number("sampling_rate"), 48000);
    EXPECT_EQ(ctx.AudioFacts[4].number("bit_rate"), 384000);
    EXPECT_EQ(ctx.AudioFacts[4].number("channels"), 6);
    EXPECT_EQ(ctx.VideoFacts[0].firstPts, 93600u);
    EXPECT_EQ(ctx.SubFacts[5].firstPts, 180000u);
}

} // namespace
} // namespace qf::test
