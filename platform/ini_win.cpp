// INI files on Windows: the profile API itself.
#include <windows.h>

#include <vector>

#include "IniFile.h"

namespace platform {
namespace {

// The profile API looks for a name without a folder in the Windows folder, where every other file
// call looks in the current one: a relative name is made full first, so both find the same file.
std::string FullPath(const std::string& fileName) {
    const DWORD size = GetFullPathNameA(fileName.c_str(), 0, nullptr, nullptr);
    if (size == 0) return fileName;
    std::vector<char> full(size, '\0');
    const DWORD length = GetFullPathNameA(fileName.c_str(), size, full.data(), nullptr);
    return length > 0 && length < size ? std::string(full.data(), length) : fileName;
}

}  // namespace

std::vector<std::string> ReadIniSectionNames(const std::string& fileName, std::size_t bufferSize) {
    std::vector<std::string> names;
    if (bufferSize == 0) return names;
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD length = GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), FullPath(fileName).c_str());
    if (length == 0) return names;
    const char* cursor = buffer.data();
    const char* const end = buffer.data() + buffer.size();
    while (cursor < end && *cursor != '\0') {
        std::string name(cursor);
        cursor += name.size() + 1;
        names.push_back(std::move(name));
    }
    return names;
}

std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          std::size_t bufferSize) {
    if (bufferSize == 0) return std::string();
    std::vector<char> buffer(bufferSize, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                             static_cast<DWORD>(buffer.size()), FullPath(fileName).c_str());
    buffer.back() = '\0';
    return std::string(buffer.data());
}

}  // namespace platform
