// Stream kind names, the shared context and the report tables.
#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include "engine/context.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

TEST(KindNames, Video) {
    EXPECT_EQ(VideoKindName(-1), "No video stream");
    EXPECT_EQ(VideoKindName(0x55), "VC-1.stream");
    EXPECT_EQ(VideoKindName(0x56), "VC-1.stream");
    EXPECT_EQ(VideoKindName(0xE0), "MPEG-2.stream");
    EXPECT_EQ(VideoKindName(0xE1), "MPEG-2.stream");
    EXPECT_EQ(VideoKindName(0xE2), "H.264.stream");
    EXPECT_EQ(VideoKindName(0xE3), "H.264.stream");
    for (int32_t other : {1, 0, 0x54, 0x57, 0xDF, 0xE4, 0xFD}) EXPECT_EQ(VideoKindName(other), "");
}

TEST(KindNames, AudioRangesAndTheirEdges) {
    struct Range {
        int32_t first, last;
        const char* name;
    };
    for (const Range& r : {Range{0x80, 0x87, "DD.stream"}, Range{0x88, 0x8F, "DTSHD.stream"},
                           Range{0xA0, 0xA7, "LPCM.stream"}, Range{0xB0, 0xB7, "MLP.stream"},
                           Range{0xC0, 0xCF, "DD+.stream"}, Range{0x1C0, 0x1CF, "MPA.stream"}}) {
        for (int32_t id = r.first; id <= r.last; ++id) EXPECT_EQ(AudioKindName(id), r.name) << id;
    }
    EXPECT_EQ(AudioKindName(-1), "No audio stream");
    for (int32_t other : {1, 0, 0x7F, 0x90, 0x9F, 0xA8, 0xAF, 0xB8, 0xBF, 0xD0, 0x20, 0x1BF, 0x1D0})
        EXPECT_EQ(AudioKindName(other), "") << other;
}

TEST(KindNames, Subpicture) {
    EXPECT_EQ(SubKindName(-1), "No subpicture stream");
    // Ids 30-3F and 70-7F reach a selectable slot when another stream holds theirs.
    for (int32_t id = 0x20; id <= 0x3F; ++id) EXPECT_EQ(SubKindName(id), "Subpicture");
    for (int32_t id = 0x60; id <= 0x7F; ++id) EXPECT_EQ(SubKindName(id), "Ext.Subpicture");
    for (int32_t other : {1, 0x1F, 0x40, 0x5F, 0x80}) EXPECT_EQ(SubKindName(other), "") << other;
}

TEST(Context, StartsEmptyAndResets) {
    RecordingHost host;
    Session ctx(host);
    EXPECT_EQ(ctx.ReadBuffer.size(), kChunkSize);
    ctx.VideoSlots[1] = 0xE1;
    ctx.AudioSlots[15] = 1;
    ctx.SubSlots[31] = 0x7F;
    ctx.resetCatalogue();
    for (int32_t e : ctx.VideoSlots) EXPECT_EQ(e, -1);
    for (int32_t e : ctx.AudioSlots) EXPECT_EQ(e, -1);
    for (int32_t e : ctx.SubSlots) EXPECT_EQ(e, -1);
}

TEST(Context, LogAndStatusReachTheHost) {
    RecordingHost host;
    Session ctx(host);
    ctx.log("[b]x[/b]");
    ctx.log("");
    EXPECT_EQ(ctx.ui.log, (std::vector<std::string>{"[b]x[/b]", ""}));
    EXPECT_EQ(host.lines, ctx.ui.log);
    ctx.slog("Reading", 0);
    EXPECT_EQ(ctx.ui.status[0], "Reading");
    EXPECT_EQ(ctx.ui.statusHint, " Select or drop an EVO file to demux") << "panel 0 keeps it";
    ctx.slog("1/2 Mbytes", 1);
    EXPECT_EQ(ctx.ui.status[1], "1/2 Mbytes");
    EXPECT_EQ(ctx.ui.statusHint, "1/2 Mbytes");
    ctx.slog("", 1);
    EXPECT_EQ(ctx.ui.statusHint, "");
    EXPECT_EQ(host.status0, std::vector<std::string>{"Reading"});
    EXPECT_EQ(host.status1, (std::vector<std::string>{"1/2 Mbytes", ""}));
}

TEST(Context, WindowModelDefaults) {
    WindowModel ui;
    EXPECT_EQ(ui.cbVideo[7].caption, "Video stream");
    EXPECT_EQ(ui.cbAudio[15].caption, "Audio stream");
    EXPECT_EQ(ui.cbSub[0].caption, "Subpicture");
    EXPECT_EQ(ui.cbSub[0].hint, "");
    for (size_t i = 1; i < 16; ++i)
        EXPECT_EQ(ui.cbSub[i].hint, "Check the desired subpicture streams");
    EXPECT_EQ(ui.cbAudio[3].hint, "");
}

TEST(ReportTables, Contents) {
    RecordingHost host;
    Session ctx(host);
    ctx.ChannelNames[25] = "stale";
    ctx.fillReportTables();
    const std::array<int32_t, 23> rates = {48000,  44100,  32000,  0,      32000,  40000,
                                           48000,  56000,  64000,  80000,  96000,  112000,
                                           128000, 160000, 192000, 224000, 256000, 320000,
                                           384000, 448000, 512000, 576000, 640000};
    EXPECT_EQ(ctx.AC3RateTable, rates);

    EXPECT_EQ(ctx.ChannelNames[0], "C (mono)");
    EXPECT_EQ(ctx.ChannelNames[1], "L + R");
    EXPECT_EQ(ctx.ChannelNames[7], "Lf + Rf + C");
    EXPECT_EQ(ctx.ChannelNames[20], "Lf + Rf + Ls + Rs + C + LFE");
    for (size_t i = 13; i <= 17; ++i) EXPECT_EQ(ctx.ChannelNames[i], ctx.ChannelNames[i - 5]) << i;
    for (size_t i = 21; i < 32; ++i) EXPECT_EQ(ctx.ChannelNames[i], "") << i;

    EXPECT_EQ(ctx.MLPChannelNames[0], "???0");
    EXPECT_EQ(ctx.MLPChannelNames[14], "???14");
    EXPECT_EQ(ctx.MLPChannelNames[15], "Lf + Rf + Ls + Rs + C + LFE");
    EXPECT_EQ(ctx.MLPChannelNames[16], "???16");
    EXPECT_EQ(ctx.MLPChannelNames[21], "???21");
    for (size_t i = 22; i < 32; ++i) EXPECT_EQ(ctx.MLPChannelNames[i], "") << i;

    EXPECT_EQ(ctx.WordLengthNames[0], "16");
    EXPECT_EQ(ctx.WordLengthNames[1], "20");
    EXPECT_EQ(ctx.WordLengthNames[2], "24");
    EXPECT_EQ(ctx.WordLengthNames[3], "");
    const std::array<std::string, 16> rateNames = {"48",   "96",   "192",   "", "", "", "", "",
                                                   "44.1", "88.2", "176.4", "", "", "", "", ""};
    EXPECT_EQ(ctx.RateNames, rateNames);
}

} // namespace
} // namespace qf::test
