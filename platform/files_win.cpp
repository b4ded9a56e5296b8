// Files on Windows: shared for reading, writers denied.
#include <windows.h>

#include <io.h>
#include <share.h>
#include <stdio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "Files.h"

namespace platform {

namespace {

FILE* AsStream(std::intptr_t handle) { return reinterpret_cast<FILE*>(handle); }

}  // namespace

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

ReadOnlyFile::~ReadOnlyFile() { Close(); }

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), failed_(other.failed_), errorText_(std::move(other.errorText_)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        failed_ = other.failed_;
        errorText_ = std::move(other.errorText_);
    }
    return *this;
}

void ReadOnlyFile::SetError(int code) {
    failed_ = true;
    errorText_ = std::strerror(code);
}

bool ReadOnlyFile::Open(const std::string& path) {
    Close();
    failed_ = false;
    errorText_.clear();
    if (DirectoryExists(path)) {
        SetError(EISDIR);
        return false;
    }
    FILE* stream = _fsopen(path.c_str(), "rb", _SH_DENYWR);
    if (stream == nullptr) {
        SetError(errno);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(stream);
    return true;
}

void ReadOnlyFile::Close() {
    if (handle_ != -1) fclose(AsStream(handle_));
    handle_ = -1;
}

bool ReadOnlyFile::IsOpen() const { return handle_ != -1; }

std::int64_t ReadOnlyFile::Size() {
    if (handle_ == -1) return -1;
    return _filelengthi64(_fileno(AsStream(handle_)));
}

bool ReadOnlyFile::Seek(std::int64_t offset) {
    if (handle_ == -1 || _fseeki64(AsStream(handle_), offset, SEEK_SET) != 0) {
        SetError(handle_ == -1 ? EBADF : errno);
        return false;
    }
    return true;
}

std::size_t ReadOnlyFile::Read(void* buffer, std::size_t count) {
    if (handle_ == -1) {
        SetError(EBADF);
        return 0;
    }
    const std::size_t got = fread(buffer, 1, count, AsStream(handle_));
    if (got < count && ferror(AsStream(handle_))) {
        SetError(errno != 0 ? errno : EIO);
        clearerr(AsStream(handle_));
    }
    return got;
}

namespace {

std::string SystemErrorText(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Writes all the bytes and flushes them to the disk; false with the system's reason.
bool WriteAllAndFlush(HANDLE file, const std::string& bytes, std::string& errorText) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
            errorText = SystemErrorText(GetLastError());
            return false;
        }
        done += wrote;
    }
    if (!FlushFileBuffers(file)) {
        errorText = SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

}  // namespace

RecordFile::~RecordFile() { Close(); }

bool RecordFile::Open(const std::string& path, std::string& errorText) {
    Close();
    const HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorText = SystemErrorText(GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool RecordFile::Append(const std::string& bytes, std::string& errorText) {
    if (handle_ == -1) {
        errorText = SystemErrorText(ERROR_INVALID_HANDLE);
        return false;
    }
    return WriteAllAndFlush(AsHandle(handle_), bytes, errorText);
}

void RecordFile::Close() {
    if (handle_ != -1) CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

bool ReplaceFileWhole(const std::string& path, const std::string& contents, std::string& errorText) {
    const std::string temporary = path + ".tmp-" + std::to_string(GetCurrentProcessId());
    const HANDLE file =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorText = SystemErrorText(GetLastError());
        return false;
    }
    const bool written = WriteAllAndFlush(file, contents, errorText);
    CloseHandle(file);
    if (!written || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (written) errorText = SystemErrorText(GetLastError());
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
