// Windows: every session has a desktop to open windows on.
#include "QtDisplay.h"

std::string MissingDisplayReason() {
    return {};
}

bool ReportMissingDisplay(const char*, const char*) {
    return false;
}
