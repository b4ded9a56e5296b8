// Durations as text.
#include "Durations.h"

#include <cstdio>

std::string MinutesSeconds(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}
