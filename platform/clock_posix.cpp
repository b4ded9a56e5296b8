// Local time and sleeping on POSIX systems.
#include <time.h>

#include <cerrno>

#include "Clock.h"

namespace platform {

std::tm CalendarTime(std::time_t moment, bool utc) {
    std::tm parts{};
    if ((utc ? gmtime_r(&moment, &parts) : localtime_r(&moment, &parts)) == nullptr) return std::tm{};
    return parts;
}

TimeOfDay LocalTimeOfDay(std::time_t moment) {
    const std::tm parts = CalendarTime(moment, false);
    return {parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void SleepMilliseconds(unsigned milliseconds) {
    struct timespec remaining {};
    remaining.tv_sec = milliseconds / 1000;
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
