// The running program's path from the kernel's view of it.
#include <unistd.h>

#include <vector>

#include "ProgramPath.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace platform {

std::string ProgramPath() {
#if defined(__APPLE__)
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) return std::string();
    return std::string(buffer.data());
#else
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return std::string();
        if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
#endif
}

}  // namespace platform
