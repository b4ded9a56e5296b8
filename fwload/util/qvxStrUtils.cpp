// Thousands grouping of numbers for the size label and the progress line.
#include "qvxStrUtils.h"

#include <charconv>

std::string FormatWithThousands(long double value, const platform::NumberSeparators& separators) {
    const bool negative = value < 0;
    const long double magnitude = negative ? -value : value;

    char digits[64] = {};
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits - 1, magnitude, std::chars_format::general, 15);
    const std::string plain(digits, error == std::errc() ? end : digits);

    // to_chars always writes '.', whatever the locale.
    const std::size_t point = plain.find('.');
    const std::string integerPart = plain.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string() : plain.substr(point + 1);

    std::string grouped;
    int placedSinceSeparator = 0;
    for (auto it = integerPart.rbegin(); it != integerPart.rend(); ++it) {
        if (placedSinceSeparator == 3) {
            grouped.insert(0, separators.thousands);
            placedSinceSeparator = 0;
        }
        grouped.insert(grouped.begin(), *it);
        ++placedSinceSeparator;
    }
    if (!fraction.empty()) grouped += separators.decimal + fraction;
    return negative ? "-" + grouped : grouped;
}
