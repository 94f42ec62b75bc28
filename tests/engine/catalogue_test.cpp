// Stream kind names of empty slots, the shared context and the report tables.
#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include "jobs/runner.h"
#include "support/recording_host.h"

namespace qf::test {
namespace {

// The names of the kinds themselves are the codec table's (codecs_test.cpp).
TEST(KindNames, EmptySlotsAndPlaylistMarkers) {
    EXPECT_EQ(VideoKindName(-1), "No video stream");
    EXPECT_EQ(AudioKindName(-1), "No audio stream");
    EXPECT_EQ(SubKindName(-1), "No subpicture stream");
    for (auto name : {VideoKindName, AudioKindName, SubKindName}) EXPECT_EQ(name(1), "");
}

TEST(JobRunner, StartsEmptyAndResets) {
    RecordingHost host;
    Session ctx(host);
    EXPECT_EQ(ctx.io.ReadBuffer.size(), kChunkSize);
    ctx.cat.VideoSlots[1] = 0xE1;
    ctx.cat.AudioSlots[15] = 1;
    ctx.cat.SubSlots[31] = 0x7F;
    ctx.cat.clearSlots();
    for (int32_t e : ctx.cat.VideoSlots) EXPECT_EQ(e, -1);
    for (int32_t e : ctx.cat.AudioSlots) EXPECT_EQ(e, -1);
    for (int32_t e : ctx.cat.SubSlots) EXPECT_EQ(e, -1);
}

TEST(JobRunner, LogAndStatusReachTheHost) {
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

TEST(JobRunner, WindowModelDefaults) {
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
    NameTables ctx;
    ctx.AC3RateTable[3] = 7; // stale
    ctx.fill();
    const std::array<int32_t, 23> rates = {48000,  44100,  32000,  0,      32000,  40000,
                                           48000,  56000,  64000,  80000,  96000,  112000,
                                           128000, 160000, 192000, 224000, 256000, 320000,
                                           384000, 448000, 512000, 576000, 640000};
    EXPECT_EQ(ctx.AC3RateTable, rates);
}

} // namespace
} // namespace qf::test
