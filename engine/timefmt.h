#pragma once
// Locale-dependent formatting: times of day ("h:mm:ss") and decimal numbers.
#include <string>

namespace qf {

struct TimeSettings {
    char timeSeparator = ':';
    char decimalSeparator = '.';
};

// A duration in days shown as a time of day: rounded to the millisecond, then hours
// without a leading zero, minutes and seconds with two digits (seconds truncated).
// Durations of a day or more wrap around.
std::string formatDuration(double days, const TimeSettings& ts);

// Seconds since the epoch as a day count (fractional), for elapsed-time arithmetic.
double nowInDays();

} // namespace qf
