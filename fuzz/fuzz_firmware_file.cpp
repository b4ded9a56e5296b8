// The firmware header test, byte sum and image copy over arbitrary files.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Files.h"
#include "FirmwareImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/fuzz-firmware-" + std::to_string(getpid()) + ".bin";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    platform::ReadOnlyFile file;
    if (!file.Open(path)) std::abort();
    if (file.Size() != static_cast<std::int64_t>(size)) std::abort();
    std::uint8_t header[kFirmwareHeaderSize] = {};
    const std::size_t got = file.Read(header, sizeof header);
    const bool isFirmware = IsFirmwareHeader(header, got);
    if (isFirmware != (size >= 18 && std::string(reinterpret_cast<const char*>(data), 18) == kFirmwareHeader)) std::abort();

    std::vector<std::uint8_t> buffer(kByteSumReadSize);
    std::uint16_t sum = 0;
    if (!ComputeImageByteSum(file, buffer.data(), sum)) std::abort();
    std::uint16_t expected = 0;
    for (std::size_t i = 18; i < size; ++i) expected = static_cast<std::uint16_t>(expected + data[i]);
    if (sum != expected) std::abort();

    // The copy the download sends: exactly the bytes after the header, with the same sum.
    FirmwareImage image;
    if (!ReadFirmwareImage(file, image) || image.byteSum != expected) std::abort();
    const std::size_t imageSize = size > 18 ? size - 18 : 0;
    if (image.bytes.size() != imageSize || !std::equal(image.bytes.begin(), image.bytes.end(), data + (size - imageSize))) {
        std::abort();
    }
    return 0;
}
