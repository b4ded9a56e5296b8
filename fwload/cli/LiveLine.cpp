#include "LiveLine.h"

std::string LiveLine::Draw(const std::string& text, int columns) {
    std::string shown = text;
    if (columns > 1 && shown.size() >= static_cast<std::size_t>(columns)) shown.resize(static_cast<std::size_t>(columns - 1));
    std::string bytes = "\r" + shown;
    if (escapes_) {
        bytes += "\x1b[K";
    } else if (shownWidth_ > shown.size()) {
        bytes.append(shownWidth_ - shown.size(), ' ');
    }
    shownWidth_ = shown.size();
    return bytes;
}
