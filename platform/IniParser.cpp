// Our INI reader's rules; see IniParser.h for what it reproduces.
#include "IniParser.h"

#include <algorithm>
#include <string_view>

namespace platform {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string UpToNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Turns one line (without its line end) into an entry; false when the line holds nothing.
bool ParseLine(std::string_view line, IniEntry& entry) {
    line = TrimBlanks(line);
    if (line.empty()) return false;
    if (line.front() == '[') {
        const std::size_t close = line.rfind(']');
        if (close != std::string_view::npos) {
            entry.kind = IniEntry::Kind::Section;
            entry.name = UpToNul(TrimBlanks(line.substr(1, close - 1)));
            entry.hasValue = false;
            entry.value.clear();
            return true;
        }
        // A '[' line without ']' is an ordinary line.
    }
    entry.kind = IniEntry::Kind::Key;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        entry.name = UpToNul(line);
        entry.hasValue = false;
        entry.value.clear();
        return true;
    }
    entry.name = UpToNul(TrimBlanks(line.substr(0, equals)));
    entry.hasValue = true;
    entry.value = UpToNul(TrimBlanks(line.substr(equals + 1)));
    return true;
}

}  // namespace

void ScanIni(const IniByteSource& source, const std::function<bool(const IniEntry&)>& visit) {
    std::string chunk(kChunkBytes, '\0');
    std::string line;
    bool lineStartsFile = true;
    IniEntry entry;

    // Returns false when the visitor asked to stop.
    const auto finishLine = [&]() {
        std::string_view text = line;
        if (lineStartsFile && text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
            text.remove_prefix(kUtf8ByteOrderMark.size());
        }
        lineStartsFile = false;
        const bool keepGoing = !ParseLine(text, entry) || visit(entry);
        line.clear();
        return keepGoing;
    };

    for (;;) {
        const std::size_t got = source(chunk.data(), chunk.size());
        if (got == 0) break;
        const char* cursor = chunk.data();
        const char* const end = chunk.data() + std::min(got, chunk.size());
        while (cursor < end) {
            const char* lineEnd = std::find_if(cursor, end, [](char c) { return c == '\r' || c == '\n'; });
            const std::size_t room = kMaxIniLineBytes - line.size();
            line.append(cursor, std::min(static_cast<std::size_t>(lineEnd - cursor), room));
            if (lineEnd == end) break;
            if (!finishLine()) return;
            cursor = lineEnd + 1;
        }
    }
    finishLine();
}

std::vector<std::string> ListIniSections(const IniByteSource& source, std::size_t bufferSize) {
    std::vector<std::string> names;
    if (bufferSize < 2) return names;
    // The API keeps one byte for the list's final NUL and ends each name with a NUL of its own.
    std::size_t room = bufferSize - 1;
    ScanIni(source, [&](const IniEntry& entry) {
        if (entry.kind != IniEntry::Kind::Section || entry.name.empty()) return true;
        const std::size_t needed = entry.name.size() + 1;
        if (needed >= room) {
            if (room > 1) names.push_back(entry.name.substr(0, room - 1));
            return false;
        }
        names.push_back(entry.name);
        room -= needed;
        return true;
    });
    return names;
}

std::optional<std::string> FindIniValue(const IniByteSource& source, const std::string& section,
                                        const std::string& key) {
    const std::string_view wantedSection = TrimBlanks(section);
    const std::string_view wantedKey = TrimBlanks(key);
    // Keys before the first header belong to a section with the empty name.
    bool inWantedSection = wantedSection.empty();
    std::optional<std::string> result;
    ScanIni(source, [&](const IniEntry& entry) {
        if (entry.kind == IniEntry::Kind::Section) {
            // Only the first section of a name is searched.
            if (inWantedSection) return false;
            inWantedSection = SameNameIgnoringAsciiCase(entry.name, wantedSection);
            return true;
        }
        if (!inWantedSection || !SameNameIgnoringAsciiCase(entry.name, wantedKey)) return true;
        // The first key of a name wins, even a line without '='.
        if (entry.hasValue) result = entry.value;
        return false;
    });
    return result;
}

std::string CopyIniEntry(const std::string& value, std::size_t bufferSize) {
    if (bufferSize == 0) return std::string();
    std::string_view text = value;
    bool quoted = false;
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        quoted = true;
        text.remove_prefix(1);
    }
    std::string copy(text.substr(0, bufferSize - 1));
    // As the profile API does: the last byte copied goes in place of the closing quote whenever the
    // quoted text, closing quote included, is no longer than the buffer; a value that fills the
    // buffer exactly so loses its own last byte, and a longer one keeps all that was copied.
    if (quoted && bufferSize >= text.size() && !copy.empty()) copy.pop_back();
    return copy;
}

std::string TrimIniDefault(const std::string& defaultValue) {
    std::size_t end = defaultValue.size();
    while (end > 1 && defaultValue[end - 1] == ' ') --end;
    return defaultValue.substr(0, end);
}

}  // namespace platform
