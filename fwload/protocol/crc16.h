// The CRC-16 that protects every framed request and reply of the download exchange: polynomial
// 0x8005, register starting at 0 (set by the caller), most significant bit first, no reflection,
// no final XOR (the check value over "123456789" is 0xFEE8).
#pragma once

#include <array>
#include <cstdint>

namespace crc16_detail {

constexpr std::uint16_t kPolynomial = 0x8005;

constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned reg = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000u) != 0 ? (reg << 1) ^ kPolynomial : reg << 1;
        }
        table[i] = static_cast<std::uint16_t>(reg & 0xFFFFu);
    }
    return table;
}

}  // namespace crc16_detail

// Entry i is the register after shifting i * 256 left eight times, XOR-ing the polynomial in after
// each shift that pushes a 1 out of bit 15.
inline constexpr std::array<std::uint16_t, 256> Crc16Table = crc16_detail::MakeTable();

// Runs the caller's register over count bytes, in order. A count of 0 leaves it unchanged.
void UpdateCrc16(const std::uint8_t* bytes, std::uint16_t count, std::uint16_t& crc);
