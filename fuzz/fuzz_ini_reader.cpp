// The INI reader over arbitrary file bytes and queries, as the settings helpers use it.
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "FuzzInput.h"
#include "IniParser.h"

namespace {

platform::IniByteSource SourceOf(const std::string& text, std::size_t chunk) {
    auto offset = std::make_shared<std::size_t>(0);
    return [&text, offset, chunk](char* buffer, std::size_t capacity) {
        const std::size_t count = std::min({capacity, chunk, text.size() - *offset});
        std::copy(text.begin() + static_cast<std::ptrdiff_t>(*offset),
                  text.begin() + static_cast<std::ptrdiff_t>(*offset + count), buffer);
        *offset += count;
        return count;
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::size_t chunk = 1 + input.Byte() * 64u;  // reads of every size, across line ends
    const std::string section = input.Piece();
    const std::string key = input.Piece();
    const std::string fallback = input.Piece();
    const std::string file = input.Rest();

    const std::vector<std::string> names = platform::ListIniSections(SourceOf(file, chunk), 16384);
    std::size_t packed = 0;
    for (const std::string& name : names) packed += name.size() + 1;
    if (packed >= 16384) std::abort();

    const std::optional<std::string> value = platform::FindIniValue(SourceOf(file, chunk), section, key);
    const std::string shown = platform::CopyIniEntry(value ? *value : platform::TrimIniDefault(fallback), 2048);
    if (shown.size() > 2047) std::abort();
    // The reader's answer cannot depend on how the file arrives.
    if (platform::FindIniValue(SourceOf(file, 65536), section, key) != value) std::abort();
    return 0;
}
