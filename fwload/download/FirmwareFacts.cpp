#include "FirmwareFacts.h"

#include <cstdio>
#include <limits>
#include <vector>

#include "DownloadFrames.h"
#include "Files.h"
#include "Sha256.h"
#include "qvxFileUtils.h"

namespace {

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

// Reads the file whole, as the download will; a message when it cannot be read.
std::optional<std::string> ReadFirmwareFacts(const std::string& path, FirmwareFacts& facts) {
    if (platform::DirectoryExists(path)) return path + ": is a directory";
    platform::ReadOnlyFile file;
    if (!file.Open(path)) return path + ": " + file.ErrorText();
    facts.size = file.Size();
    if (facts.size > std::numeric_limits<std::int32_t>::max()) return path + ": too large for card printer firmware";
    std::uint8_t header[kFirmwareHeaderSize] = {};
    const std::size_t got = file.Read(header, sizeof header);
    if (file.Failed() || !ReadFirmwareImage(file, facts.image)) {
        return path + ": " + (file.ErrorText().empty() ? std::string("cannot be read") : file.ErrorText());
    }
    facts.header = IsFirmwareHeader(header, got);
    std::vector<std::uint8_t> whole(header, header + got);
    whole.insert(whole.end(), facts.image.bytes.begin(), facts.image.bytes.end());
    facts.sha256 = Sha256Hex(whole.data(), whole.size());
    return std::nullopt;
}

// Checks the firmware file before the printer is touched; a message on failure.
std::optional<std::string> FirmwareProblem(const std::string& path, FirmwareFacts& facts) {
    if (std::optional<std::string> problem = ReadFirmwareFacts(path, facts)) return problem;
    if (!facts.header) return path + ": not a card printer firmware file";
    return std::nullopt;
}

std::optional<std::string> PinnedSha256Problem(const std::string& path, const FirmwareFacts& facts,
                                               const std::string& wanted) {
    if (wanted.empty() || wanted == facts.sha256) return std::nullopt;
    return path + ": its SHA-256 is " + facts.sha256 + ", not the " + wanted + " that --sha256 asks for";
}

// The section that --model names, as the settings file spells it; a message when there is none.
std::optional<std::string> ResolveModel(const std::string& ini, const std::string& model, std::string& problem) {
    if (platform::DirectoryExists(ini)) {
        problem = ini + ": is a directory";
        return std::nullopt;
    }
    platform::ReadOnlyFile file;
    if (!file.Open(ini)) {
        problem = ini + ": " + file.ErrorText();
        return std::nullopt;
    }
    std::vector<std::string> sections;
    IniReadSections(ini, sections);
    for (const std::string& section : sections) {
        if (SameIgnoringAsciiCase(section, model)) return section;
    }
    if (sections.empty()) {
        problem = "unknown model \"" + model + "\": " + ini + " lists no models";
    } else {
        problem = "unknown model \"" + model + "\"; " + ini + " lists:";
        for (const std::string& section : sections) problem += "\n  " + section;
    }
    return std::nullopt;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}
