// INI files outside Windows: our reader over the file's bytes, opened afresh on every call.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "Files.h"
#include "IniFile.h"
#include "IniParser.h"

namespace platform {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

enum class OpenOutcome { Opened, NotFound, Failed };

// Mirrors the profile API: a file that is simply absent reads as an empty file, while a file that
// exists but cannot be read (a directory, no permission) or a missing folder is a failed open.
OpenOutcome OpenIniFile(const std::string& fileName, FileHandle& file) {
    file.reset(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        if (errno != ENOENT) return OpenOutcome::Failed;
        const std::size_t slash = fileName.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : fileName.substr(0, slash + 1);
        return DirectoryExists(folder) ? OpenOutcome::NotFound : OpenOutcome::Failed;
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode)) {
        file.reset();
        return OpenOutcome::Failed;
    }
    return OpenOutcome::Opened;
}

IniByteSource SourceOf(std::FILE* file) {
    return [file](char* buffer, std::size_t capacity) {
        return file == nullptr ? 0 : std::fread(buffer, 1, capacity, file);
    };
}

}  // namespace

std::vector<std::string> ReadIniSectionNames(const std::string& fileName, std::size_t bufferSize) {
    FileHandle file;
    if (OpenIniFile(fileName, file) != OpenOutcome::Opened) return {};
    return ListIniSections(SourceOf(file.get()), bufferSize);
}

std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          std::size_t bufferSize) {
    const std::string fallback = TrimIniDefault(defaultValue);
    FileHandle file;
    switch (OpenIniFile(fileName, file)) {
        case OpenOutcome::Failed:
            return bufferSize == 0 ? std::string() : fallback.substr(0, bufferSize - 1);
        case OpenOutcome::NotFound:
            return CopyIniEntry(fallback, bufferSize);
        case OpenOutcome::Opened:
            break;
    }
    const std::optional<std::string> value = FindIniValue(SourceOf(file.get()), section, key);
    return CopyIniEntry(value ? *value : fallback, bufferSize);
}

}  // namespace platform
