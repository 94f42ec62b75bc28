// A read pass over one program stream that carries every codec: the engine must hand
// each stream's first payload to the right analyser, and the whole log must read as
// the sum of the announcements and the reports.
#include <gtest/gtest.h>

#include <fstream>

#include "analysers/analysers.h"
#include "engine/demux.h"
#include "jobs/runner.h"
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
    JobRunner ctx(host);
    ctx.job.source = dir / "ALL.EVO";
    ctx.io.SourceStream = std::make_unique<FileStream>(ctx.job.source, FileStream::Mode::Read);
    ctx.cat.EarliestPTS = 0xFFFFFFFF;
    demux(ctx, kReadPass);

    expectGolden(host.plainLog(), "all_codecs.log");
    EXPECT_EQ(ctx.cat.EarliestPTS, 90000u);
    EXPECT_EQ(ctx.cat.VideoSlots[0].entry(), 0xE2);
    EXPECT_EQ(ctx.cat.VideoSlots[1].entry(), 0xE1);
    EXPECT_EQ(ctx.cat.AudioSlots[0].entry(), 0x80);
    EXPECT_EQ(ctx.cat.AudioSlots[1].entry(), 0x89);
    EXPECT_EQ(ctx.cat.AudioSlots[2].entry(), 0xA2);
    EXPECT_EQ(ctx.cat.AudioSlots[3].entry(), 0xB3);
    EXPECT_EQ(ctx.cat.AudioSlots[4].entry(), 0xC4);
    EXPECT_EQ(ctx.cat.SubSlots[5].entry(), 0x25);

    // What was decoded: what each encoder was told.
    const auto& h264 = std::get<H264Info>(ctx.cat.VideoFacts[0].found.at(0));
    EXPECT_STREQ(firstOf<H264Profile>(h264, [](auto p) { return h264ProfileName(p.idc); }),
                 "Main Profile");
    EXPECT_EQ(firstOf<H264Level>(h264, [](auto l) { return std::optional(l.name()); }), "30");
    EXPECT_EQ(ctx.cat.VideoFacts[0].width(), 720u);
    EXPECT_EQ(ctx.cat.VideoFacts[0].height(), 576u);
    EXPECT_EQ(ctx.cat.VideoFacts[0].frameRate(), 25.0);
    const auto& mpeg2 = std::get<Mpeg2Info>(ctx.cat.VideoFacts[1].found.at(0));
    EXPECT_EQ(mpeg2.width(), 720u);
    EXPECT_EQ(mpeg2.height(), 480u);
    EXPECT_STREQ(mpeg2.aspect(), "16:9");
    EXPECT_EQ(mpeg2.frameRate(), 24000.0 / 1001);
    EXPECT_EQ(mpeg2.bitRate(), 8000000.0);
    const Ac3Frame* ac3 = std::get<Ac3Info>(ctx.cat.AudioFacts[0].found.at(0)).stream();
    ASSERT_NE(ac3, nullptr);
    EXPECT_STREQ(ac3->format(), "Dolby Digital");
    EXPECT_EQ(ac3->samplingRate, 48000);
    EXPECT_EQ(ac3->bitRate, 448000u);
    EXPECT_STREQ(ac3->layout(), "L + R + C + Ls + Rs");
    EXPECT_EQ(ac3->channels(), 6);
    EXPECT_TRUE(ac3->lfe);
    const auto& dts =
        std::get<DtsCore>(std::get<DtsInfo>(ctx.cat.AudioFacts[1].found.at(0)).found.at(0));
    EXPECT_EQ(dts.channels(), 6);
    EXPECT_EQ(dts.bitRate(), 768000.0);
    const auto& thd = std::get<MlpInfo>(ctx.cat.AudioFacts[3].found.at(0));
    EXPECT_EQ(firstOf<MlpRate>(thd, [](auto r) { return r.hertz(); }), 48000);
    const Ac3Frame* eac3 = std::get<Ac3Info>(ctx.cat.AudioFacts[4].found.at(0)).stream();
    ASSERT_NE(eac3, nullptr);
    EXPECT_EQ(eac3->bitRate, 384000u);
    EXPECT_EQ(eac3->channels(), 6);
    EXPECT_TRUE(std::holds_alternative<SubpictureInfo>(ctx.cat.SubFacts[5].found.at(0)));
    EXPECT_EQ(ctx.cat.VideoFacts[0].firstPts, 93600u);
    EXPECT_EQ(ctx.cat.SubFacts[5].firstPts, 180000u);
}

// The decoded fields of each encoder sample against what ffprobe reports for the file
// (sample_rate, channels, bit_rate; width, height, r_frame_rate). ffprobe reads no DTS
// core or TrueHD from these short files: there, the encoder's settings.
struct Audio {
    std::optional<int> rate, channels;
    std::optional<double> bitRate;
};
Audio audioOf(const Ac3Info& i) {
    if (const Ac3Frame* f = i.stream()) return {f->samplingRate, f->channels(), f->bitRate};
    return {};
}
Audio audioOf(const DtsInfo& i) {
    const auto& core = std::get<DtsCore>(i.found.at(0));
    return {core.samplingRate(), core.channels(), core.bitRate()};
}
Audio audioOf(const MlpInfo& i) {
    return {firstOf<MlpRate>(i, [](auto r) { return r.hertz(); }),
            firstOf<MlpLayout>(i, [](auto l) { return l.channels(); }), std::nullopt};
}
Audio audioOf(const MpaInfo& i) {
    const MpaHeader& h = i.header.value();
    return {h.samplingRate, h.mode == 3 ? 1 : 2, h.kbits * 1000.0};
}

TEST(DecodedFields, AgreeWithFfprobe) {
    const NameTables tables = [] {
        NameTables t;
        t.fill();
        return t;
    }();
    const struct {
        const char* file;
        int rate, channels;
        double bitRate; // 0: none
    } audio[] = {
        {"ac3_44k1_96k_mono.ac3", 44100, 1, 96000},
        {"ac3_48k_192k_stereo.ac3", 48000, 2, 192000},
        {"ac3_48k_448k_51.ac3", 48000, 6, 448000},
        {"eac3_51.eac3", 48000, 6, 384000},
        {"dts_48k_768k_51.dts", 48000, 6, 768000},
        {"mlp_44k1_stereo.mlp", 44100, 2, 0},
        {"mp2_24k_64k_mono.mp2", 24000, 1, 64000},
        {"mp2_48k_192k_stereo.mp2", 48000, 2, 192000},
        {"mp3_44k1_128k_joint.mp3", 44100, 2, 128000},
        {"mp3_11k025_16k_mono.mp3", 11025, 1, 16000},
    };
    for (const auto& c : audio) {
        SCOPED_TRACE(c.file);
        const Bytes bytes = sample(c.file);
        const std::string ext = std::string(c.file).substr(std::string(c.file).rfind('.'));
        const Audio a = ext == ".dts"   ? audioOf(parseDts(bytes, 0, bytes.size()))
                        : ext == ".mlp" ? audioOf(parseMlp(bytes))
                        : ext[1] == 'm' ? audioOf(parseMpa(bytes))
                                        : audioOf(parseAc3(bytes, tables));
        EXPECT_EQ(a.rate, c.rate);
        EXPECT_EQ(a.channels, c.channels);
        EXPECT_EQ(a.bitRate.value_or(0), c.bitRate);
    }

    const struct {
        const char* file;
        uint32_t width, height;
        double fps;
    } video[] = {
        {"h264_baseline_l1b_176x144_25.264", 176, 144, 25},
        {"h264_high10_l40_1280x720_50.264", 1280, 720, 50},
        {"h264_high422_l31_720x480_2997.264", 720, 480, 30000.0 / 1001},
        {"h264_high_l40_1920x1080i_25.264", 1920, 1080, 25},
        {"h264_high_l41_1920x1080_23976.264", 1920, 1080, 24000.0 / 1001},
        {"mpeg2_1920x1080_2997i_16x9.m2v", 1920, 1080, 30000.0 / 1001},
        {"mpeg2_720x576_50_221.m2v", 720, 576, 50},
        {"mpeg1_160x120_30.m1v", 160, 120, 30},
    };
    for (const auto& c : video) {
        SCOPED_TRACE(c.file);
        const Bytes bytes = sample(c.file);
        StreamFacts facts;
        if (std::string(c.file).back() == '4')
            facts.found.emplace_back(parseH264(bytes));
        else
            facts.found.emplace_back(parseMpeg2(bytes, 0));
        EXPECT_EQ(facts.width(), c.width);
        EXPECT_EQ(facts.height(), c.height);
        EXPECT_NEAR(facts.frameRate().value_or(0), c.fps, 1e-9);
    }
}

} // namespace
} // namespace qf::test
