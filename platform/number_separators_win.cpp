// Separators from the user's regional settings in Windows.
#include <windows.h>

#include "NumberSeparators.h"

namespace platform {

namespace {

std::string LocaleText(LCTYPE type, const char* fallback) {
    char buffer[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer) <= 1) return fallback;
    return buffer;
}

}  // namespace

NumberSeparators UserNumberSeparators() {
    return {LocaleText(LOCALE_STHOUSAND, ","), LocaleText(LOCALE_SDECIMAL, ".")};
}

}  // namespace platform
