// Stream kind names of empty slots, the job runner's catalogue and the report tables.
#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include "jobs/runner.h"

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
    NullEvents events;
    JobRunner ctx(events);
    EXPECT_EQ(ctx.io.ReadBuffer.size(), kChunkSize);
    ctx.cat.VideoSlots[1] = SlotEntry({Carrier::PesId, 0xE1});
    ctx.cat.AudioSlots[15] = SlotEntry::listedByPlaylist();
    ctx.cat.SubSlots[31] = SlotEntry({Carrier::SubStream, 0x7F});
    ctx.cat.clearSlots();
    for (const SlotEntry& e : ctx.cat.VideoSlots) EXPECT_TRUE(e.empty());
    for (const SlotEntry& e : ctx.cat.AudioSlots) EXPECT_TRUE(e.empty());
    for (const SlotEntry& e : ctx.cat.SubSlots) EXPECT_TRUE(e.empty());
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
