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

// The ports an id names, outermost first, up to its first zero nibble.
inline std::vector<unsigned> PortsOf(std::uint32_t id) {
    std::vector<unsigned> ports;
    for (int shift = 20; shift >= 0 && ((id >> shift) & 0xF) != 0; shift -= 4) ports.push_back((id >> shift) & 0xF);
    return ports;
}

// "1-2.3" for a port path's id; "0x..." for any other; "-" for none.
inline std::string LocationText(std::uint32_t id) {
    if (id == 0) return "-";
    const std::vector<unsigned> ports = PortsOf(id);
    // A port path is what LocationIdOf makes of its bus and ports, nothing after them.
    if (LocationIdOf(id >> 24, ports) != id) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(id));
        return hex;
    }
    std::string path = std::to_string(id >> 24);
    for (std::size_t i = 0; i < ports.size(); ++i) path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return path;
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
