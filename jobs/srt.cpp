#include "jobs/srt.h"

#include <cstdio>

namespace qf {

std::string srtTime(int64_t ticks) {
    const int64_t ms = ticks > 0 ? (ticks + 45) / 90 : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string srtText(const std::vector<CaptionCue>& cues, int64_t origin) {
    std::string out;
    int number = 0;
    for (const CaptionCue& cue : cues) {
        out += std::to_string(++number) + "\n" + srtTime(cue.start - origin) + " --> " +
               srtTime(cue.end - origin) + "\n" + cue.text + "\n\n";
    }
    return out;
}

} // namespace qf
