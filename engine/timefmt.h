#pragma once
// Locale-dependent formatting: durations as a time of day ("h:mm:ss") and decimal numbers.
#include <chrono>
#include <string>

namespace qf {

struct TimeSettings {
    char timeSeparator = ':';
    char decimalSeparator = '.';
};

// A duration shown as a time of day: rounded to the millisecond, then hours without a
// leading zero, minutes and seconds with two digits (seconds truncated). Durations of a day
// or more wrap around; a negative one shows its size, one that is no number 0:00:00.
std::string formatDuration(std::chrono::duration<double> d, const TimeSettings& ts);

} // namespace qf
