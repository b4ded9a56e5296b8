// Files on POSIX systems, through file descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "Files.h"

namespace platform {

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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
    // Non-blocking so that opening a FIFO cannot hang; the mode is checked before any read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int code = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        close(fd);
        failed_ = true;
        errorText_ = code == EISDIR ? std::strerror(code) : "Not a regular file";
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    return true;
}

void ReadOnlyFile::Close() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
    handle_ = -1;
}

bool ReadOnlyFile::IsOpen() const { return handle_ >= 0; }

std::int64_t ReadOnlyFile::Size() {
    struct stat info {};
    if (handle_ < 0 || fstat(static_cast<int>(handle_), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool ReadOnlyFile::Seek(std::int64_t offset) {
    if (handle_ < 0) {
        SetError(EBADF);
        return false;
    }
    if (lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
        SetError(errno);
        return false;
    }
    return true;
}

std::size_t ReadOnlyFile::Read(void* buffer, std::size_t count) {
    if (handle_ < 0) {
        SetError(EBADF);
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const ssize_t got = read(static_cast<int>(handle_), bytes + total, count - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            SetError(errno);
            break;
        }
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

namespace {

// Writes all the bytes, a short write continued; false with errno set.
bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            if (wrote == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A file's name in its folder survives a power cut only once the folder is synced too.
void SyncFolderOf(const std::string& path) {
    const int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    fsync(folder);
    close(folder);
}

}  // namespace

RecordFile::~RecordFile() { Close(); }

bool RecordFile::Open(const std::string& path, std::string& errorText) {
    Close();
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        errorText = std::strerror(errno);
        return false;
    }
    struct statvfs room {};
    if (fsync(fd) != 0 && errno != EINVAL) {
        errorText = std::strerror(errno);
        close(fd);
        return false;
    }
    if (fstatvfs(fd, &room) == 0 && room.f_blocks > 0 && room.f_bavail == 0) {
        errorText = std::strerror(ENOSPC);
        close(fd);
        return false;
    }
    SyncFolderOf(path);
    handle_ = fd;
    return true;
}

bool RecordFile::Append(const std::string& bytes, std::string& errorText) {
    if (handle_ < 0) {
        errorText = std::strerror(EBADF);
        return false;
    }
    const int fd = static_cast<int>(handle_);
    // fsync is refused (EINVAL) only by files that cannot be synced at all, such as a pipe.
    if (!WriteAll(fd, bytes) || (fsync(fd) != 0 && errno != EINVAL)) {
        errorText = std::strerror(errno);
        return false;
    }
    return true;
}

void RecordFile::Close() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
    handle_ = -1;
}

bool ReplaceFileWhole(const std::string& path, const std::string& contents, std::string& errorText) {
    const std::string temporary = path + ".tmp-" + std::to_string(static_cast<long>(getpid()));
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        errorText = std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, contents) && fsync(fd) == 0;
    const int writeError = errno;
    if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
        errorText = std::strerror(written ? errno : writeError);
        unlink(temporary.c_str());
        return false;
    }
    SyncFolderOf(path);
    return true;
}

}  // namespace platform
