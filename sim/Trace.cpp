// Trace lines, flushed one by one so that a crash loses nothing.
#include "Trace.h"

#include <chrono>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace sim {

namespace {

double SecondsSinceLoad() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Trace::~Trace() {
    if (file_ != nullptr) std::fclose(file_);
}

void Trace::Open(const std::string& path) {
    if (path == path_ && (file_ != nullptr || path.empty())) return;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    path_ = path;
    if (!path.empty()) file_ = std::fopen(path.c_str(), "ab");
}

void Trace::Line(const std::string& text, const std::uint8_t* bytes, std::size_t count) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "%10.6f %d %s", SecondsSinceLoad(), static_cast<int>(getpid()), text.c_str());
    if (bytes != nullptr && count > 0) {
        std::fputc(':', file_);
        for (std::size_t i = 0; i < count; ++i) std::fprintf(file_, " %02X", bytes[i]);
    }
    std::fputc('\n', file_);
    std::fflush(file_);
}

}  // namespace sim
