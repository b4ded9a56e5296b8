// The terminal a stream writes to, if any.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// True when the stream is a terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);
// Columns of the terminal the stream writes to; 0 when unknown.
int TerminalColumns(std::FILE* stream);
// Lets the terminal the stream writes to act on escape sequences (erase to the end of the line);
// false where it cannot (an older Windows console, Wine's, a file).
bool EnableTerminalEscapes(std::FILE* stream);
// Writes to an output whose reader has gone (a closed pipe) fail quietly instead of ending the
// program.
void KeepRunningWhenOutputCloses();
// A text of the system's (a path, a library's message) in UTF-8: on Windows converted from the ANSI
// code page; elsewhere the bytes as they are, which may or may not be UTF-8.
std::string SystemTextToUtf8(const std::string& text);

}  // namespace platform
