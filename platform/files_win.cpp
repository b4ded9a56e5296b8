// Files on Windows: shared for reading, writers denied.
#include <windows.h>

#include <io.h>
#include <share.h>
#include <stdio.h>

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
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

ReadOnlyFile::~ReadOnlyFile() { Close(); }

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      failed_(other.failed_),
      errorText_(std::move(other.errorText_)) {}

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

}  // namespace platform
