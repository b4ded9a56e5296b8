// Header test and byte sum of firmware image files.
#include "FirmwareImage.h"

#include <algorithm>
#include <new>
#include <numeric>

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

bool ReadFirmwareImage(platform::ReadOnlyFile& file, FirmwareImage& image) {
    image = FirmwareImage{};
    if (!file.Seek(static_cast<std::int64_t>(kFirmwareHeaderSize))) return false;
    try {
        // The size is a hint only: the copy ends where the reads end.
        const std::int64_t size = file.Size();
        if (size > static_cast<std::int64_t>(kFirmwareHeaderSize)) {
            image.bytes.reserve(static_cast<std::size_t>(size) - kFirmwareHeaderSize);
        }
        std::size_t got = 0;
        do {
            const std::size_t used = image.bytes.size();
            image.bytes.resize(used + kByteSumReadSize);
            got = file.Read(image.bytes.data() + used, kByteSumReadSize);
            image.bytes.resize(used + got);
        } while (got == kByteSumReadSize);
    } catch (const std::bad_alloc&) {
        image = FirmwareImage{};
        return false;
    }
    if (file.Failed()) {
        image = FirmwareImage{};
        return false;
    }
    image.byteSum = std::accumulate(image.bytes.begin(), image.bytes.end(), std::uint16_t{0},
                                    [](std::uint16_t sum, std::uint8_t byte) { return static_cast<std::uint16_t>(sum + byte); });
    return true;
}
