// Durations shown as h:mm:ss.
#include "engine/timefmt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

namespace qf {
namespace {

using Seconds = std::chrono::duration<double>;

TEST(FormatDuration, Table) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        double seconds;
        char separator;
        const char* text;
    };
    const Case cases[] = {
        {0, ':', "0:00:00"},
        {1, ':', "0:00:01"},
        {421, ':', "0:07:01"},
        {10 * 3600 + 5 * 60 + 9, ':', "10:05:09"},
        // Rounded to the millisecond first, then the seconds are cut.
        {0.9994, ':', "0:00:00"},
        {0.9996, ':', "0:00:01"},
        {1.9994, ':', "0:00:01"},
        {1.9996, ':', "0:00:02"},
        {59.9994, ':', "0:00:59"},
        {59.9996, ':', "0:01:00"},
        {3599.9996, ':', "1:00:00"},
        {86399.9994, ':', "23:59:59"},
        // A day or more wraps around.
        {86399.9996, ':', "0:00:00"},
        {86400, ':', "0:00:00"},
        {86400 + 3600, ':', "1:00:00"},
        // A negative duration shows its size; one that is no number, none.
        {-421, ':', "0:07:01"},
        {kNaN, ':', "0:00:00"},
        {kInf, ':', "0:00:00"},
        {-kInf, ':', "0:00:00"},
        {3723, '.', "1.02.03"},
        {kNaN, '.', "0.00.00"},
    };
    for (const Case& c : cases) {
        TimeSettings ts;
        ts.timeSeparator = c.separator;
        EXPECT_EQ(formatDuration(Seconds(c.seconds), ts), c.text) << c.seconds << " s";
    }
}

TEST(FormatDuration, TakesAnyDuration) {
    const TimeSettings ts;
    EXPECT_EQ(formatDuration(std::chrono::milliseconds(1999), ts), "0:00:01");
    EXPECT_EQ(formatDuration(std::chrono::minutes(61), ts), "1:01:00");
}

} // namespace
} // namespace qf
