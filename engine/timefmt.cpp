#include "engine/timefmt.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace qf {

std::string formatDuration(double days, const TimeSettings& ts) {
    if (!std::isfinite(days)) days = 0;
    constexpr double kMsPerDay = 86400000.0;
    double ms = std::round(std::fabs(days) * kMsPerDay);
    auto total = static_cast<long long>(std::fmod(ms, kMsPerDay));
    long long h = total / 3600000, m = total / 60000 % 60, s = total / 1000 % 60;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld%c%02lld%c%02lld", h, ts.timeSeparator, m, ts.timeSeparator,
                  s);
    return buf;
}

double nowInDays() {
    using namespace std::chrono;
    auto us = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<double>(us) / 86400e6;
}

} // namespace qf
