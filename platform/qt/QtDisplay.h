// Whether the GUI programs have a display to open their windows on.
#pragma once

#include <optional>
#include <string>

// Empty when a window can be opened; otherwise the reason, to be told on stderr instead of
// letting Qt abort.
std::string MissingDisplayReason();

// Prints "<program>: <reason>[; <hint>]" on stderr and returns true when there is no display.
bool ReportMissingDisplay(const char* program, const char* hint = nullptr);

// What a GUI program does before it opens its window: --version (-V) and --help (-h) print a line
// or two and end the program with 0; without a display it says so and ends with 1. Returns the
// exit code when the program should end now.
// The description is what --help says the window is for.
std::optional<int> CheckGuiStart(const char* program, const char* description, const char* hint, int argc,
                                 char* argv[]);
