// An optional trace of every call into the virtual printer and every byte it moves, one line each:
// "<seconds since load> <pid> <call> = <result>[: <bytes in hex>]". Several processes may append
// to one file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Starts writing to the file (appending), or stops when the path is empty.
    void Open(const std::string& path);
    bool Enabled() const { return file_ != nullptr; }
    // Writes one line; the bytes, if any, follow a colon in hex.
    void Line(const std::string& text, const std::uint8_t* bytes = nullptr, std::size_t count = 0);

private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

}  // namespace sim
