// Local time and sleeping on Windows.
#include <windows.h>

#include <time.h>

#include "Clock.h"

namespace platform {

TimeOfDay LocalTimeOfDay(std::time_t moment) {
    struct tm parts {};
    if (localtime_s(&parts, &moment) != 0) return {};
    return {parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace platform
