// Loaded into a program under test (LD_PRELOAD): each file the program syncs to the disk is noted
// on its standard output as a line "#sync PATH", between the lines the program itself wrote there,
// so a test sees whether a record reached the disk before its outcome was shown.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
    using SyncCall = int (*)(int);
    static const auto realSync = reinterpret_cast<SyncCall>(dlsym(RTLD_NEXT, "fsync"));
    const int result = realSync(fd);
    char path[4096] = {};
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    const std::string note = "#sync " + std::string(path, length > 0 ? static_cast<std::size_t>(length) : 0) + "\n";
    // Straight to the descriptor: what the program wrote before was flushed with its line.
    if (write(STDOUT_FILENO, note.data(), note.size()) < 0) return result;
    return result;
}
