// X11 and Wayland: a window needs one of their servers, unless Qt was pointed at another platform.
#include <cstdio>
#include <cstdlib>

#include "QtDisplay.h"

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::string MissingDisplayReason() {
    if (IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"))
        return {};
    return "no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
}

bool ReportMissingDisplay(const char* program, const char* hint) {
    const std::string reason = MissingDisplayReason();
    if (reason.empty())
        return false;
    std::fprintf(stderr, "%s: %s%s%s\n", program, reason.c_str(), hint != nullptr ? "; " : "",
                 hint != nullptr ? hint : "");
    return true;
}
