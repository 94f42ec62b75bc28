#include "engine/timefmt.h"

#include <cmath>
#include <cstdio>

namespace qf {

std::string formatDuration(std::chrono::duration<double> d, const TimeSettings& ts) {
    double seconds = d.count();
    if (!std::isfinite(seconds)) seconds = 0;
    constexpr double kMsPerDay = 86400000.0;
    const double ms = std::round(std::fabs(seconds) * 1000.0);
    const auto total = static_cast<long long>(std::fmod(ms, kMsPerDay));
    const long long h = total / 3600000, m = total / 60000 % 60, s = total / 1000 % 60;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld%c%02lld%c%02lld", h, ts.timeSeparator, m, ts.timeSeparator,
                  s);
    return buf;
}

} // namespace qf
