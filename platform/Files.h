// File tests, a read-only file that other programs may read but not write while it is open, a file
// of records each synced to the disk as it is appended, and a file replaced whole.
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

// A file that records are appended to, each synced to the disk before Append returns, so that a
// power cut loses no record that was reported written. Others may read it meanwhile. Closes itself
// when destroyed; no member throws.
class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens the file for appending, creating it; false with the system's reason when it cannot be
    // opened or its disk has no room left.
    bool Open(const std::string& path, std::string& errorText);
    // Appends the bytes in one write and syncs them to the disk; false with the system's reason.
    bool Append(const std::string& bytes, std::string& errorText);
    void Close();
    bool IsOpen() const { return handle_ != -1; }

private:
    std::intptr_t handle_ = -1;
};

// Replaces the file's contents whole: they are written beside it under a temporary name, synced,
// then renamed into place, so that a reader or a power cut finds the old file or the new one,
// never half of one. False with the system's reason (the old file is then untouched).
bool ReplaceFileWhole(const std::string& path, const std::string& contents, std::string& errorText);

}  // namespace platform
