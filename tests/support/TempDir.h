// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Full path of a name inside the folder.
    std::string File(const std::string& name) const;
    // Writes the bytes to the named file (replacing it) and returns its full path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::string path_;
};

// The bytes of a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
