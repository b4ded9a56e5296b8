// File tests and a read-only file that other programs may read but not write while it is open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// True when the path names something that exists and is not a directory.
bool FileExists(const std::string& path);

// True when the path names an existing directory.
bool DirectoryExists(const std::string& path);

// A file opened for reading, shared with readers but not writers (on Windows; elsewhere a plain
// read-only open). Only regular files open: a FIFO or device is refused instead of blocking.
// Moves but does not copy; closes itself when destroyed. No member throws.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens the file; on failure returns false and ErrorText() tells why.
    bool Open(const std::string& path);
    // Closes the file if open; errors while closing are ignored.
    void Close();
    bool IsOpen() const;

    // Size in bytes, or -1 when it cannot be taken.
    std::int64_t Size();
    // Moves the read position to the given offset from the start; false on failure.
    bool Seek(std::int64_t offset);
    // Reads up to count bytes at the current position; returns the number read (0 at the end).
    // A read error returns what was read before it and sets Failed().
    std::size_t Read(void* buffer, std::size_t count);
    // True once a read or seek has failed (as opposed to reaching the end of the file).
    bool Failed() const { return failed_; }
    // Text of the last error, in the platform's words.
    const std::string& ErrorText() const { return errorText_; }

private:
    void SetError(int code);

    std::intptr_t handle_ = -1;
    bool failed_ = false;
    std::string errorText_;
};

}  // namespace platform
