// Consoles on Windows.
#include <io.h>
#include <windows.h>

#include "Terminal.h"

namespace platform {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

int TerminalColumns(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(handle, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool EnableTerminalEscapes(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    // A console that does not know the flag refuses the whole mode.
    return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// Windows has no SIGPIPE: a write to a closed pipe already just fails.
void KeepRunningWhenOutputCloses() {}

std::string SystemTextToUtf8(const std::string& text) {
    if (text.empty()) return text;
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return text;
    std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, utf16.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return text;
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

}  // namespace platform
