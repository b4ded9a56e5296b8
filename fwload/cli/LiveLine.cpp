#include "LiveLine.h"

#include <algorithm>
#include <cstdio>

std::string LiveLine::Draw(const std::string& text, int columns) {
    std::string shown = text;
    if (columns > 1 && shown.size() >= static_cast<std::size_t>(columns))
        shown.resize(static_cast<std::size_t>(columns - 1));
    std::string bytes = "\r" + shown;
    if (escapes_) {
        bytes += "\x1b[K";
    } else if (shownWidth_ > shown.size()) {
        bytes.append(shownWidth_ - shown.size(), ' ');
    }
    shownWidth_ = shown.size();
    return bytes;
}

std::string ProgressBar(long long position, long long maximum, int width) {
    const long long filled = maximum > 0 ? width * std::clamp(position, 0LL, maximum) / maximum : 0;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "]";
}
