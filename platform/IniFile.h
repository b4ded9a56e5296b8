// Reading INI settings files the way the Windows profile API reads them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The names of the file's sections in file order, as the profile API's section-name query returns
// them into a buffer of bufferSize bytes (names that do not fit are cut, then the list ends).
// A missing or unreadable file gives an empty list. Reads the file afresh on every call.
std::vector<std::string> ReadIniSectionNames(const std::string& fileName, std::size_t bufferSize);

// The value of a key, as GetPrivateProfileStringA returns it into a buffer of bufferSize bytes:
// blanks around it and one pair of enclosing quotes removed, cut to bufferSize - 1 bytes; the
// default (trailing spaces cut) when the file, section or key is missing. Names match in any
// ASCII case. Reads the file afresh on every call.
std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue,
                          std::size_t bufferSize);

}  // namespace platform
