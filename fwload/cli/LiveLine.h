// A line redrawn in place on a terminal (the progress bar, the restart wait, a station's rows), and
// the pieces such lines are made of.
#pragma once

#include <cstddef>
#include <string>

#include "Durations.h"

class LiveLine {
public:
    // escapes: the terminal erases to the end of the line on ESC[K; without it the rest of a longer
    // line shown before is blanked out with spaces.
    explicit LiveLine(bool escapes) : escapes_(escapes) {}

    // The bytes that replace the line shown with text, cut to columns - 1 when the width is known
    // (a wrapped line could not be redrawn in place).
    std::string Draw(const std::string& text, int columns);
    // The line was ended; the next one starts on a fresh line.
    void End() { shownWidth_ = 0; }

private:
    bool escapes_;
    std::size_t shownWidth_ = 0;
};

// [#####.....]: width marks, as many # as the position has of the maximum.
std::string ProgressBar(long long position, long long maximum, int width);
