// The firmware image file: an 18-byte header text, then the image bytes sent to the printer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {
class ReadOnlyFile;
}

inline constexpr std::string_view kFirmwareHeader = "[NOV Card Printer]";
inline constexpr std::size_t kFirmwareHeaderSize = 18;
static_assert(kFirmwareHeader.size() == kFirmwareHeaderSize);

// Bytes the byte sum reads at a time; the caller's buffer must hold at least this many.
inline constexpr std::size_t kByteSumReadSize = 65535;

// True when the first bytes of a file, read as a text ending at the first zero byte, are exactly
// the header "[NOV Card Printer]". Fewer than 18 bytes, or a zero among them, fail.
bool IsFirmwareHeader(const std::uint8_t* bytes, std::size_t count);

// The 16-bit sum of the image bytes (offset 18 to the end), read in blocks of 65,535 bytes into
// the caller's buffer. False when the file cannot be positioned or read; sum is then undefined.
bool ComputeImageByteSum(platform::ReadOnlyFile& file, std::uint8_t* buffer, std::uint16_t& sum);

// The image of a firmware file as it was when read: the bytes after the header and their sum.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes;
    std::uint16_t byteSum = 0;
};

// Reads the whole image of an open firmware file (offset 18 to the end) into image, so that what is
// sent and summed is one and the same copy whatever happens to the file meanwhile. False when the
// file cannot be positioned or read (file.ErrorText() tells why) or the image does not fit in
// memory; image is then empty.
bool ReadFirmwareImage(platform::ReadOnlyFile& file, FirmwareImage& image);
