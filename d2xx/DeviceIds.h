// The USB vendor and product ids the free D2XX library looks for: FTDI's own, and those a list
// file adds for printers with ids of their own.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace d2xx {

using UsbId = std::pair<std::uint16_t, std::uint16_t>;  // vendor, product

// Reads a list file: one "VVVV:PPPP" a line (hex, 1 to 4 digits each, neither zero), blanks around
// it and a '#' comment allowed, empty lines skipped. Appends each new id to ids; every other line
// is described in problems as "FILE:LINE: ..." and skipped.
void ReadDeviceIds(std::istream& list, const std::string& fileName, std::vector<UsbId>& ids,
                   std::vector<std::string>& problems);

// FTDI's ids, then those of the list file (CARDPRINTER_D2XX_DEVICES names another, for tests).
// Each bad line is named on standard error once per process.
std::vector<UsbId> DeviceIds();

}  // namespace d2xx
