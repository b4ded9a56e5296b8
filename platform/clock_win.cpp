// Local time and sleeping on Windows.
#include <windows.h>

#include <time.h>

#include "Clock.h"

namespace platform {

std::tm CalendarTime(std::time_t moment, bool utc) {
    std::tm parts{};
    if ((utc ? gmtime_s(&parts, &moment) : localtime_s(&parts, &moment)) != 0) return std::tm{};
    return parts;
}

TimeOfDay LocalTimeOfDay(std::time_t moment) {
    const std::tm parts = CalendarTime(moment, false);
    return {parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace platform
