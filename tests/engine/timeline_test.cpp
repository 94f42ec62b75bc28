// A title's segments on one playback timeline, from what a pass observes of each.
#include "engine/timeline.h"

#include "engine/title_clock.h"

#include <gtest/gtest.h>

namespace qf::timeline {
namespace {

constexpr Ticks kPal = 3600, kNtsc = 3003, kMs = 90, kS = kTicksPerSecond;

// A segment of `frames` PAL frames whose first video time stamp is `first`, with the
// given streams' offsets to the video in ms.
SegmentSeen pal(Ticks first, Ticks frames, std::vector<std::pair<int, Ticks>> offsetsMs = {},
                int cell = 0) {
    SegmentSeen s;
    s.cell = cell;
    s.firstVideoPts = first;
    s.lastVideoPts = (first + (frames - 1) * kPal) % kStampWrap;
    s.lastFrameDuration = kPal;
    for (auto [stream, ms] : offsetsMs) s.streams.push_back({stream, first + ms * kMs});
    return s;
}

struct Expected {
    Ticks titleTime;
    bool restarts;
    std::vector<std::int64_t> offsetsMs;
};

struct Case {
    const char* name;
    std::vector<SegmentSeen> seen;
    std::vector<Expected> expected;
};

std::vector<Case> cases() {
    SegmentSeen still = pal(45000, 1);
    still.stillTime = 3 * kS;
    SegmentSeen ntsc1, ntsc2;
    ntsc1.firstVideoPts = 48048, ntsc1.lastVideoPts = 48048 + 89 * kNtsc;
    ntsc1.lastFrameDuration = kNtsc;
    ntsc2 = ntsc1;
    ntsc2.streams = {{0x80, 48048 + 217 * kMs}};
    SegmentSeen part = pal(45000 + 100 * kPal, 50, {{0x80, 0}});
    part.partBoundary = true;
    SegmentSeen wrapped = pal(kStampWrap - kS, 100, {{0x80, 2000}}); // audio after the wrap
    return {
        {"OneSegmentChangesNothing",
         {pal(48600, 100, {{0x80, 120}, {0x81, -40}})},
         {{0, false, {120, -40}}}},
        {"ThreeSegmentsFromZero",
         {pal(48600, 100, {{0x80, 120}, {0x81, -40}}), pal(52200, 100, {{0x80, -80}, {0x81, 80}}),
          pal(48600, 100, {{0x80, 40}, {0x81, 0}})},
         {{0, false, {120, -40}}, {4 * kS, true, {-80, 80}}, {8 * kS, true, {40, 0}}}},
        {"NtscEpisodesOfAPlayAll", {ntsc1, ntsc2}, {{0, false, {}}, {90 * kNtsc, true, {217}}}},
        {"StillCellHoldsItsPicture",
         {still, pal(45000, 100)},
         {{0, false, {}}, {kPal + 3 * kS, true, {}}}},
        // As ffmpeg makes them: the next file's time stamps run on from the picture's.
        {"StillCellWhoseNextStampsRunOn",
         {still, pal(45000 + kPal, 75)},
         {{0, false, {}}, {kPal + 3 * kS, false, {}}}},
        {"WrapWithinASegment",
         {wrapped, pal((kStampWrap - kS + 100 * kPal) % kStampWrap, 10)},
         {{0, false, {2000}}, {4 * kS, false, {}}}},
        {"ContinuingCellIsNoJump",
         {pal(45000, 100, {}, 1), pal(45000 + 100 * kPal, 50, {}, 2)},
         {{0, false, {}}, {4 * kS, false, {}}}},
        {"DroppedFrameIsNoJump",
         {pal(45000, 100), pal(45000 + 101 * kPal, 50)},
         {{0, false, {}}, {4 * kS + kPal, false, {}}}},
        // A second part that continues the first's clock keeps it (and makes no segment).
        {"PartWhoseStampsContinueKeepsTheClock",
         {pal(45000, 100), part},
         {{0, false, {}}, {4 * kS, false, {0}}}},
        {"OverlapAndGapOfTheNextStreamsKept",
         {pal(45000, 100, {{0x80, 0}}), pal(90000, 100, {{0x80, -60}, {0x81, 30}})},
         {{0, false, {0}}, {4 * kS, true, {-60, 30}}}},
    };
}

TEST(PlaceSegments, Table) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const auto placed = placeSegments(c.seen);
        ASSERT_EQ(placed.size(), c.expected.size());
        for (std::size_t i = 0; i < placed.size(); ++i) {
            SCOPED_TRACE(i + 1);
            EXPECT_EQ(placed[i].number, static_cast<int>(i) + 1);
            EXPECT_EQ(placed[i].titleTime, c.expected[i].titleTime);
            EXPECT_EQ(placed[i].clockRestarts, c.expected[i].restarts);
            std::vector<std::int64_t> ms;
            for (const StreamOffset& s : placed[i].streams) ms.push_back(s.offsetMs);
            EXPECT_EQ(ms, c.expected[i].offsetsMs);
            // The segment's own first frame plays at its title time.
            EXPECT_EQ(titleTimeOf(placed[i], c.seen[i].firstVideoPts), placed[i].titleTime);
        }
    }
}

TEST(PlaceSegments, StreamTimesFollowTheirSegmentAcrossTheWrap) {
    const auto placed =
        placeSegments({pal(45000, 100), pal(kStampWrap - 2 * kPal, 100, {{0x80, 60}})});
    EXPECT_EQ(titleTimeOf(placed[1], placed[1].anchorPts + 60 * kMs), 4 * kS + 60 * kMs);
    EXPECT_EQ(titleTimeOf(placed[1], 10 * kPal), 4 * kS + 12 * kPal);
    EXPECT_EQ(placed[1].streams[0].offset, 60 * kMs);
}

TEST(IsJump, AtMostOneFrameOffIsNone) {
    struct Row {
        Ticks previous, next;
        bool jump;
    } rows[] = {
        {1000, 1000 + kPal, false},
        {1000, 1000, true},
        {1000, 1000 + 2 * kPal, false},
        {1000, 1000 + 2 * kPal + 1, true},
        {1000, 999, true},
        {kStampWrap - kPal, 0, false},
        {kStampWrap - 10, kPal, false},
        {0, kStampWrap - kPal, true},
        {500000, 45000, true},
        {45000, 45000 + 10 * kS, true},
    };
    for (const Row& r : rows)
        EXPECT_EQ(isJump(r.previous, r.next, kPal), r.jump) << r.previous << " -> " << r.next;
    EXPECT_EQ(stampDelta(kStampWrap - 1, 1), 2);
    EXPECT_EQ(stampDelta(1, kStampWrap - 1), -2);
}

TEST(SegmentText, TitleTimesAndTheLogLine) {
    EXPECT_EQ(formatTitleTime(0), "0:00:00.000");
    EXPECT_EQ(formatTitleTime(480 * kS), "0:08:00.000");
    EXPECT_EQ(formatTitleTime(30 * kS + 30 * kMs), "0:00:30.030");
    EXPECT_EQ(formatTitleTime(kMs / 2), "0:00:00.001"); // rounded
    EXPECT_EQ(formatTitleTime(10 * 3600 * kS + 61 * kS + 7 * kMs), "10:01:01.007");
    EXPECT_EQ(formatTitleTime(-80 * kMs), "-0:00:00.080");

    SegmentPlaced s;
    s.number = 2, s.titleTime = 480 * kS, s.cell = 4, s.clockRestarts = true;
    s.streams = {{0x80, 0, 0}, {0x81, 120 * kMs, 120}, {0x82, -80 * kMs, -80}};
    EXPECT_EQ(segmentLine(s, {{0x81, "DD.stream.01"}}),
              "Segment 2 at 0:08:00.000 (cell 4): clock restarts; DD.stream.01 starts 120 ms "
              "after the video");
    EXPECT_EQ(segmentLine(s, {{0x80, "a"}, {0x82, "b"}}),
              "Segment 2 at 0:08:00.000 (cell 4): clock restarts; a starts with the video; b "
              "starts 80 ms before the video");
    s.cell = 0, s.clockRestarts = false;
    EXPECT_EQ(segmentLine(s, {}), "Segment 2 at 0:08:00.000: clock continues");
}

// A source whose clock jumps at every pack makes a bounded number of segments, each
// picture's stamp on the first clock a real time.
TEST(TitleClock, AClockJumpingAtEveryPackIsBounded) {
    qf::TitleClock clock;
    for (int k = 0; k < 10000; ++k) {
        const auto at = static_cast<std::int64_t>(k) * 2048;
        clock.pack(at, static_cast<qf::Stamp>((k % 2) * 10 * kS));
        clock.stamp(at, qf::Family::Video, 0, static_cast<qf::Stamp>((k % 2) * 10 * kS));
        clock.stamp(at, qf::Family::Audio, 0, static_cast<qf::Stamp>((k % 2) * 10 * kS));
        clock.onFirstClock(static_cast<qf::Stamp>(k));
    }
    EXPECT_LE(clock.segments(), 4096u);
    EXPECT_LE(clock.placed().size(), 4096u);
}

} // namespace
} // namespace qf::timeline
