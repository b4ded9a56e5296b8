// SHA-256 (FIPS 180-4), for pinning a firmware file to the one a production line released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The SHA-256 of the bytes, as 64 lower-case hex digits.
std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count);
