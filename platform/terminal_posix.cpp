// Terminals on POSIX systems: isatty and the window size the terminal reports.
#include <sys/ioctl.h>

#include <csignal>
#include <unistd.h>

#include "Terminal.h"

namespace platform {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

// Every terminal emulator in use understands ESC[K.
bool EnableTerminalEscapes(std::FILE* stream) { return IsTerminal(stream); }

void KeepRunningWhenOutputCloses() { std::signal(SIGPIPE, SIG_IGN); }

std::string SystemTextToUtf8(const std::string& text) { return text; }

}  // namespace platform
