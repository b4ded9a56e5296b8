// Mapping of Windows library file names to the names of the same libraries on this platform.
#include "DynamicLibrary.h"

#include <cctype>

namespace platform {

#if !defined(_WIN32)
namespace {

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace
#endif

std::string NativeLibraryName(const std::string& windowsName) {
#if defined(_WIN32)
    return windowsName;
#else
#if defined(__APPLE__)
    const char* const suffix = ".dylib";
#else
    const char* const suffix = ".so";
#endif
    const std::size_t slash = windowsName.find_last_of('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::string fileName = windowsName.substr(start);
    const std::string lower = AsciiLower(fileName);
    if (lower.size() <= 4 || lower.compare(lower.size() - 4, 4, ".dll") != 0) return windowsName;
    return windowsName.substr(0, start) + "lib" + lower.substr(0, lower.size() - 4) + suffix;
#endif
}

}  // namespace platform
