// What fwload-cli checks before a printer is touched: the firmware file, read whole as the download
// will read it, and the model the settings file must list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "FirmwareImage.h"

struct FirmwareFacts {
    std::int64_t size = 0;
    bool header = false;   // it begins with the firmware header
    FirmwareImage image;   // the bytes after the header, and their sum
    std::string sha256;    // of the whole file
};

// Reads the file whole, as the download will; a message when it cannot be read.
std::optional<std::string> ReadFirmwareFacts(const std::string& path, FirmwareFacts& facts);
// Checks the firmware file before the printer is touched; a message on failure.
std::optional<std::string> FirmwareProblem(const std::string& path, FirmwareFacts& facts);
// Why the file is not the one --sha256 pins (wanted, in lower-case hex), or nothing when it is or
// nothing is pinned.
std::optional<std::string> PinnedSha256Problem(const std::string& path, const FirmwareFacts& facts,
                                               const std::string& wanted);
// The section that --model names, as the settings file spells it; a message when there is none.
std::optional<std::string> ResolveModel(const std::string& ini, const std::string& model, std::string& problem);
// 0x1A2B.
std::string Hex4(std::uint16_t value);
