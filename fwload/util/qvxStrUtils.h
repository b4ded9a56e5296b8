// Number texts for the window: byte counts with the user's thousands separators.
#pragma once

#include <string>

#include "NumberSeparators.h"

// The number in general format (at most 15 significant digits) with the thousands separator put
// between groups of three integer digits and the decimal separator before any fraction:
// 1234567 gives "1,234,567" and -1234.5 gives "-1,234.5" with ',' and '.'.
std::string FormatWithThousands(long double value,
                                const platform::NumberSeparators& separators =
                                    platform::UserNumberSeparators());
