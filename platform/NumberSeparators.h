// The user's regional thousands and decimal separators.
#pragma once

#include <string>

namespace platform {

struct NumberSeparators {
    std::string thousands;
    std::string decimal;
};

// The separators of the user's regional settings. Outside Windows they come from the locale the
// program selected with setlocale(LC_ALL, ""); a locale without a thousands separator (C, POSIX)
// gives ',' and '.'.
NumberSeparators UserNumberSeparators();

}  // namespace platform
