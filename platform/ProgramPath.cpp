// Settings-file naming, shared by every platform.
#include "ProgramPath.h"

namespace platform {

namespace {

bool IsSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

}  // namespace

char PathSeparator() {
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

std::string ProgramBeside(const std::string& name) {
#if defined(_WIN32)
    return ProgramDirectory() + name + ".exe";
#else
    return ProgramDirectory() + name;
#endif
}

std::string SettingsFileName(const std::string& programPath) {
    std::size_t nameStart = 0;
    for (std::size_t i = programPath.size(); i > 0; --i) {
        if (IsSeparator(programPath[i - 1])) {
            nameStart = i;
            break;
        }
    }
    const std::size_t dot = programPath.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return programPath + ".ini";
    return programPath.substr(0, dot) + ".ini";
}

std::string ProgramDirectory() {
    const std::string path = ProgramPath();
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return path.substr(0, i);
    }
    return std::string();
}

}  // namespace platform
