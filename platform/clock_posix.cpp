// Local time and sleeping on POSIX systems.
#include <time.h>

#include <cerrno>

#include "Clock.h"

namespace platform {

TimeOfDay LocalTimeOfDay(std::time_t moment) {
    struct tm parts {};
    if (localtime_r(&moment, &parts) == nullptr) return {};
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
