// The terminal a stream writes to, if any.
#pragma once

#include <cstdio>

namespace platform {

// True when the stream is a terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);
// Columns of the terminal the stream writes to; 0 when unknown.
int TerminalColumns(std::FILE* stream);

}  // namespace platform
