// Local time of day and plain (non-pumping) sleeps.
#pragma once

#include <ctime>

namespace platform {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The calendar date and time of day of a moment given in seconds since 1970-01-01 UTC, in local
// time or in UTC; all zero when the system cannot tell.
std::tm CalendarTime(std::time_t moment, bool utc);

// The local hour, minute and second of a moment given in seconds since 1970-01-01 UTC.
TimeOfDay LocalTimeOfDay(std::time_t moment);

// Blocks the calling thread for the given number of milliseconds.
void SleepMilliseconds(unsigned milliseconds);

}  // namespace platform
