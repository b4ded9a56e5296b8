// The D2XX devices attached, as the library lists them: index, description, serial number and USB
// port, and which of them are card printers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct D2xxDevice {
    std::int32_t index = 0;
    std::string description;  // empty when it could not be read
    std::string serial;
    bool readable = false;
    bool cardPrinter = false;
    std::uint32_t locationId = 0;  // 0 when the library cannot tell
};

// Every attached device, by index. False when the library cannot count them.
bool ListD2xxDevices(std::vector<D2xxDevice>& devices);

// The devices that are card printers.
std::vector<D2xxDevice> CardPrinters(const std::vector<D2xxDevice>& devices);

// The D2XX library is missing: what it is, and where to get it.
std::string DriverMissingText();
