// Our reader of INI text, reproducing what the Windows profile API observably does: line and
// blank rules, headers up to the last ']', the first section and the first key of a name winning,
// case-blind ASCII names, one pair of enclosing quotes removed. It reads from a byte source in
// chunks and keeps at most one bounded line in memory, so no file can make it grow without limit.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Fills up to capacity bytes; returns how many (0 at the end or on an error).
using IniByteSource = std::function<std::size_t(char* buffer, std::size_t capacity)>;

// Longest line kept; the rest of a longer line is read and dropped.
constexpr std::size_t kMaxIniLineBytes = 4u << 20;

struct IniEntry {
    enum class Kind { Section, Key };
    Kind kind = Kind::Key;
    std::string name;   // ends at the first NUL byte
    bool hasValue = false;  // false for a key line without '='
    std::string value;  // ends at the first NUL byte
};

// Calls visit for each header and key line in file order until it returns false.
void ScanIni(const IniByteSource& source, const std::function<bool(const IniEntry&)>& visit);

// Section names in file order, packed as the profile API packs them into bufferSize bytes.
std::vector<std::string> ListIniSections(const IniByteSource& source, std::size_t bufferSize);

// The raw value of the first key of that name in the first section of that name; nullopt when the
// section or key is missing or the key's line has no '='. Query names are trimmed of blanks.
std::optional<std::string> FindIniValue(const IniByteSource& source, const std::string& section,
                                        const std::string& key);

// What the profile API copies into a buffer of bufferSize bytes for a value: cut to
// bufferSize - 1 bytes, with one matching pair of enclosing quotes removed.
std::string CopyIniEntry(const std::string& value, std::size_t bufferSize);

// The default as the profile API prepares it: trailing spaces cut, keeping at least one character.
std::string TrimIniDefault(const std::string& defaultValue);

}  // namespace platform
