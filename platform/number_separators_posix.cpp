// Separators from the C library's current locale.
#include <clocale>

#include "NumberSeparators.h"

namespace platform {

NumberSeparators UserNumberSeparators() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->thousands_sep == nullptr ||
        conventions->thousands_sep[0] == '\0' || conventions->decimal_point == nullptr ||
        conventions->decimal_point[0] == '\0') {
        return {",", "."};
    }
    return {conventions->thousands_sep, conventions->decimal_point};
}

}  // namespace platform
