#pragma once
// SubRip text of caption cues, as ffmpeg's SRT muxer lays it out: numbered from 1,
// "HH:MM:SS,mmm --> HH:MM:SS,mmm", the text, a blank line; LF line ends, UTF-8.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/eia608.h"

namespace qf {

// 90 kHz ticks as "HH:MM:SS,mmm", to the nearest millisecond; negative times as 0.
std::string srtTime(int64_t ticks);
// The cues as an SRT file; `origin` is the time that becomes 00:00:00,000.
std::string srtText(const std::vector<CaptionCue>& cues, int64_t origin = 0);

} // namespace qf
