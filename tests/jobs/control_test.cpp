// Cancel and the run's stop reason: a writing pass is asked about first, and the first
// reason given stands until the next pass begins.
#include "jobs/control.h"

#include <gtest/gtest.h>

#include "engine/run_control.h"

namespace qf {
namespace {

TEST(Cancel, AsksOnlyWhileAPassWritesAndStopsOnlyOnYes) {
    struct Case {
        bool writing, answer;
        bool asked, stopped;
    };
    for (const Case c : {Case{false, false, false, true}, Case{true, false, true, false},
                         Case{true, true, true, true}}) {
        SCOPED_TRACE(testing::Message() << c.writing << c.answer);
        RunControl control;
        control.beginPass(c.writing);
        bool asked = false;
        EXPECT_EQ(requestCancel(control,
                                [&] {
                                    asked = true;
                                    return c.answer;
                                }),
                  c.stopped);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(control.stopReason(), c.stopped ? StopReason::Cancel : StopReason::None);
        // The pass is not left held, whatever the answer.
        EXPECT_EQ(control.pause.wait(), std::chrono::steady_clock::duration::zero());
    }
}

TEST(RunControl, TheFirstReasonStandsUntilTheNextPass) {
    RunControl control;
    control.requestStop(StopReason::FastCheck);
    control.requestStop(StopReason::Cancel);
    EXPECT_EQ(control.stopReason(), StopReason::FastCheck);
    control.beginPass(true);
    EXPECT_FALSE(control.stopRequested());
    EXPECT_TRUE(control.writing());
    control.requestStop(StopReason::Cancel);
    EXPECT_EQ(control.stopReason(), StopReason::Cancel);
}

} // namespace
} // namespace qf
