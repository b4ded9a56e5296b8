// The printer's reading of the wire; see Wire.h.
#include "Wire.h"

namespace sim::wire {

std::size_t RequestLength(std::uint8_t letter) {
    switch (letter) {
        case kPoll: return 5;            // STX '@' ETX CRC CRC
        case kData: return 519;          // STX 'A' seq seq 512 bytes ETX CRC CRC
        case kWriteToMemory: return 5;   // STX 'B' ETX CRC CRC
        case kChecksum: return 7;        // STX 'C' sum sum ETX CRC CRC
        default: return 0;
    }
}

std::uint16_t Crc(const std::uint8_t* bytes, std::size_t count) {
    constexpr std::uint32_t kGenerator = (1u << 16) | (1u << 15) | (1u << 2) | 1u;
    std::uint32_t remainder = 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const std::uint32_t incoming = (bytes[i] >> bit) & 1u;
            const bool top = ((remainder >> 15) & 1u) != (incoming != 0);
            remainder = (remainder << 1) & 0xFFFFu;
            if (top) remainder ^= kGenerator & 0xFFFFu;
        }
    }
    return static_cast<std::uint16_t>(remainder);
}

bool Intact(const std::uint8_t* request, std::size_t length) {
    if (length < 3 || request[length - 3] != kEndOfText) return false;
    const std::uint16_t crc = Crc(request, length - 2);
    return request[length - 2] == (crc >> 8) && request[length - 1] == (crc & 0xFF);
}

std::vector<std::uint8_t> Reply(std::uint8_t code, std::uint8_t letter) {
    std::vector<std::uint8_t> reply{kStartOfText, code, letter, kEndOfText};
    const std::uint16_t crc = Crc(reply.data(), reply.size());
    reply.push_back(static_cast<std::uint8_t>(crc >> 8));
    reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return reply;
}

}  // namespace sim::wire
