// A time-stamped hex trace of every request written to the printer and every reply read from it,
// for support: it wraps the D2XX binding's write and read slots.
#pragma once

#include <string>

// Starts appending to the file with a header (its lines after "=== "); false when it cannot be
// opened. The binding must be loaded.
bool StartLinkTrace(const std::string& fileName, const std::string& header);
// Notes a line of context (a status text) in the trace, if one is running.
void NoteInLinkTrace(const std::string& text);
// Ends the run's trace with its outcome line.
void StopLinkTrace(const std::string& outcome);
