// The chip's packets; see Packets.h.
#include "Packets.h"

#include <algorithm>

namespace d2xx {

void AppendPacketData(const std::uint8_t* transfer, std::size_t length, std::size_t packetSize,
                      std::deque<std::uint8_t>& out) {
    constexpr std::size_t kStatusBytes = 2;
    packetSize = std::max(packetSize, kStatusBytes + 1);
    for (std::size_t start = 0; start < length; start += packetSize) {
        const std::size_t end = std::min(start + packetSize, length);
        if (end - start > kStatusBytes) out.insert(out.end(), transfer + start + kStatusBytes, transfer + end);
    }
}

}  // namespace d2xx
