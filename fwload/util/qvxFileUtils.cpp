// Settings reading through the platform's profile reader, with the program's buffer sizes.
#include "qvxFileUtils.h"

#include "IniFile.h"

namespace {

constexpr std::size_t kSectionNamesBufferBytes = 16384;
constexpr std::size_t kValueBufferBytes = 2048;

}  // namespace

void IniReadSections(const std::string& fileName, std::vector<std::string>& list) {
    list.clear();
    list = platform::ReadIniSectionNames(fileName, kSectionNamesBufferBytes);
}

std::string IniReadString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
    return platform::ReadIniString(fileName, section, key, defaultValue, kValueBufferBytes);
}
