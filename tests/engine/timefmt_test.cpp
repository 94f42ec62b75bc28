// Durations shown as h:mm:ss.
#include "engine/timefmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qf {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

TEST(FormatDuration, HoursMinutesSeconds) {
    const TimeSettings ts;
    EXPECT_EQ(formatDuration(0, ts), "0:00:00");
    EXPECT_EQ(formatDuration(kSecond, ts), "0:00:01");
    EXPECT_EQ(formatDuration(421 * kSecond, ts), "0:07:01");
    EXPECT_EQ(formatDuration((10 * 3600 + 5 * 60 + 9) * kSecond, ts), "10:05:09");
    // Rounded to the millisecond first, then the seconds are cut.
    EXPECT_EQ(formatDuration(1.9994 * kSecond, ts), "0:00:01");
    EXPECT_EQ(formatDuration(1.9996 * kSecond, ts), "0:00:02");
    EXPECT_EQ(formatDuration(59.9996 * kSecond, ts), "0:01:00");
    // A day or more wraps around.
    EXPECT_EQ(formatDuration(1.0, ts), "0:00:00");
    EXPECT_EQ(formatDuration(1.0 + 3600 * kSecond, ts), "1:00:00");
}

TEST(FormatDuration, SeparatorAndOddValues) {
    TimeSettings ts;
    ts.timeSeparator = '.';
    EXPECT_EQ(formatDuration(3723 * kSecond, ts), "1.02.03");
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::quiet_NaN(), ts), "0.00.00");
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::infinity(), ts), "0.00.00");
}

TEST(NowInDays, AdvancesInDays) {
    const double a = nowInDays(), b = nowInDays();
    EXPECT_GE(b, a);
    EXPECT_LT(b - a, kSecond);
}

} // namespace
} // namespace qf
