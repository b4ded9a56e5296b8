// What the chip's bulk IN transfers carry: packets of the endpoint's size (the last may be
// shorter), each led by two modem-status bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace d2xx {

// Appends the data of a transfer's packets to out, without their status bytes.
void AppendPacketData(const std::uint8_t* transfer, std::size_t length, std::size_t packetSize,
                      std::deque<std::uint8_t>& out);

}  // namespace d2xx
