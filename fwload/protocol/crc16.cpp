// Table-driven CRC-16 update: one look-up, one shift and one XOR per byte.
#include "crc16.h"

void UpdateCrc16(const std::uint8_t* bytes, std::uint16_t count, std::uint16_t& crc) {
    std::uint16_t reg = crc;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t index = static_cast<std::uint8_t>((reg >> 8) ^ bytes[i]);
        reg = static_cast<std::uint16_t>((reg << 8) ^ Crc16Table[index]);
    }
    crc = reg;
}
