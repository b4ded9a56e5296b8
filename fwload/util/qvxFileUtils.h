// The settings file: section names and string values, read afresh on every call.
#pragma once

#include <string>
#include <vector>

// Replaces the list's contents with the file's section names in file order. A missing or
// unreadable file, or one without sections, leaves the list empty.
void IniReadSections(const std::string& fileName, std::vector<std::string>& list);

// The value of key in section, or the default when the file, section or key is missing. Blanks
// around the value and one pair of enclosing quotes are removed; a value is cut to 2047 bytes.
std::string IniReadString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue);
