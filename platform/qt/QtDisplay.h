// Whether the GUI programs have a display to open their windows on.
#pragma once

#include <string>

// Empty when a window can be opened; otherwise the reason, to be told on stderr instead of
// letting Qt abort.
std::string MissingDisplayReason();

// Prints "<program>: <reason>[; <hint>]" on stderr and returns true when there is no display.
bool ReportMissingDisplay(const char* program, const char* hint = nullptr);
