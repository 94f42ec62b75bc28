// The title timeline's texts: title times and the line a segment's start is logged with.
#include "engine/timeline.h"

#include <cstdio>
#include <cstdlib>

namespace qf::timeline {

std::string formatTitleTime(Ticks t) {
    const bool negative = t < 0;
    const Ticks perMs = kTicksPerSecond / 1000;
    const std::int64_t ms = ((negative ? -t : t) + perMs / 2) / perMs;
    char text[40];
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%03lld", negative ? "-" : "",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string segmentLine(const SegmentPlaced& segment, const std::map<int, std::string>& names) {
    std::string line =
        "Segment " + std::to_string(segment.number) + " at " + formatTitleTime(segment.titleTime);
    if (segment.cell > 0) line += " (cell " + std::to_string(segment.cell) + ")";
    line += segment.clockRestarts ? ": clock restarts" : ": clock continues";
    for (const StreamOffset& s : segment.streams) {
        const auto name = names.find(s.stream);
        if (name == names.end()) continue;
        line += "; " + name->second + " starts ";
        if (s.offsetMs == 0)
            line += "with the video";
        else
            line += std::to_string(std::llabs(s.offsetMs)) + " ms " +
                    (s.offsetMs > 0 ? "after" : "before") + " the video";
    }
    return line;
}

} // namespace qf::timeline
