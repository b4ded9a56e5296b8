// The chip's bulk IN packets: two status bytes lead each one, at the endpoint's packet size.
#include <deque>

#include <gtest/gtest.h>

#include "Packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// count data bytes, numbered from first, as packets of the given size with status bytes 01 60.
Bytes Packets(std::size_t packetSize, std::size_t count, std::uint8_t first = 0) {
    Bytes transfer;
    for (std::size_t sent = 0; sent < count || transfer.empty();) {
        transfer.insert(transfer.end(), {0x01, 0x60});
        for (std::size_t i = 0; i < packetSize - 2 && sent < count; ++i, ++sent) {
            transfer.push_back(static_cast<std::uint8_t>(first + sent));
        }
    }
    return transfer;
}

Bytes Numbered(std::size_t count, std::uint8_t first = 0) {
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(first + i));
    return bytes;
}

TEST(ChipPackets, TheStatusBytesOfEveryPacketAreDropped) {
    const struct {
        const char* name;
        std::size_t packetSize;
        Bytes transfer;
        Bytes data;
    } cases[] = {
        {"a reply in one full-speed packet", 64, Packets(64, 6), Numbered(6)},
        {"status bytes alone", 64, {0x01, 0x60}, {}},
        {"a reply longer than one packet", 64, Packets(64, 200, 9), Numbered(200, 9)},
        {"exactly one full packet", 64, Packets(64, 62), Numbered(62)},
        {"high speed: 512-byte packets", 512, Packets(512, 1000, 3), Numbered(1000, 3)},
        {"high speed: a short reply", 512, Packets(512, 6), Numbered(6)},
        {"nothing", 64, {}, {}},
    };
    for (const auto& c : cases) {
        std::deque<std::uint8_t> out{0xEE};  // what was there before stays
        d2xx::AppendPacketData(c.transfer.data(), c.transfer.size(), c.packetSize, out);
        Bytes expected{0xEE};
        expected.insert(expected.end(), c.data.begin(), c.data.end());
        EXPECT_EQ(Bytes(out.begin(), out.end()), expected) << c.name;
    }
}

}  // namespace
