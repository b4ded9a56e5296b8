// Header test and byte sum of firmware image files.
#include "FirmwareImage.h"

#include <algorithm>

#include "Files.h"

bool IsFirmwareHeader(const std::uint8_t* bytes, std::size_t count) {
    const std::size_t considered = std::min(count, kFirmwareHeaderSize);
    const std::uint8_t* const end = bytes + considered;
    const std::size_t textLength = static_cast<std::size_t>(std::find(bytes, end, 0) - bytes);
    return textLength == kFirmwareHeaderSize &&
           std::equal(kFirmwareHeader.begin(), kFirmwareHeader.end(), bytes,
                      [](char expected, std::uint8_t actual) {
                          return static_cast<std::uint8_t>(expected) == actual;
                      });
}

bool ComputeImageByteSum(platform::ReadOnlyFile& file, std::uint8_t* buffer, std::uint16_t& sum) {
    sum = 0;
    if (!file.Seek(static_cast<std::int64_t>(kFirmwareHeaderSize))) return false;
    std::size_t got = 0;
    do {
        got = file.Read(buffer, kByteSumReadSize);
        for (std::size_t i = 0; i < got; ++i) sum = static_cast<std::uint16_t>(sum + buffer[i]);
    } while (got == kByteSumReadSize);
    return !file.Failed();
}
