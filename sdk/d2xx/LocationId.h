// Where a device sits on USB, as a D2XX location id. The free D2XX library and the virtual printer
// give the port path that `lsusb -t` shows ("1-2.3": bus 1, port 2, then port 3 of the hub there)
// as the bus number in the high byte and each port in a nibble below it, outermost first, ended by a
// zero nibble: 0x01230000. FTDI's Windows driver numbers locations its own way; such an id is shown
// in hex, and taken back in hex.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace d2xx {

constexpr std::size_t kMaxPortDepth = 6;

// 0 (no location) for a path that does not fit: a port above 15, or deeper than six hubs.
inline std::uint32_t LocationIdOf(unsigned bus, const std::vector<unsigned>& ports) {
    if (bus == 0 || bus > 255 || ports.empty() || ports.size() > kMaxPortDepth) return 0;
    std::uint32_t id = bus << 24;
    int shift = 20;
    for (unsigned port : ports) {
        if (port == 0 || port > 15) return 0;
        id |= port << shift;
        shift -= 4;
    }
    return id;
}

// "1-2.3" for a port path's id; "0x..." for any other; "-" for none.
inline std::string LocationText(std::uint32_t id) {
    if (id == 0) return "-";
    std::string path = std::to_string(id >> 24);
    bool ended = false;
    bool isPath = (id >> 24) != 0 && ((id >> 20) & 0xF) != 0;
    for (int shift = 20; shift >= 0 && isPath; shift -= 4) {
        const unsigned port = (id >> shift) & 0xF;
        if (port == 0) {
            ended = true;
        } else if (ended) {
            isPath = false;  // a port after the path's end
        } else {
            path += (shift == 20 ? "-" : ".") + std::to_string(port);
        }
    }
    if (isPath) return path;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(id));
    return hex;
}

// The id that LocationText shows as this text, case ignored in hex; nullopt for any other text.
inline std::optional<std::uint32_t> ParseLocation(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 10 || text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) {
            return std::nullopt;
        }
        const auto id = static_cast<std::uint32_t>(std::stoul(text.substr(2), nullptr, 16));
        return id != 0 ? std::optional<std::uint32_t>(id) : std::nullopt;
    }
    // BUS-PORT[.PORT]...
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos || text.find('-', dash + 1) != std::string::npos ||
        text.find('.') < dash || text.find_first_not_of("0123456789-.") != std::string::npos) {
        return std::nullopt;
    }
    unsigned bus = 0;
    std::vector<unsigned> ports;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '.' && text[i] != '-') continue;
        if (i == start || i - start > 3) return std::nullopt;
        const auto number = static_cast<unsigned>(std::stoul(text.substr(start, i - start)));
        if (start == 0) {
            bus = number;
        } else {
            ports.push_back(number);
        }
        start = i + 1;
    }
    const std::uint32_t id = LocationIdOf(bus, ports);
    return id != 0 ? std::optional<std::uint32_t>(id) : std::nullopt;
}

}  // namespace d2xx
