// Which printer fwload-cli downloads to: the attached D2XX devices as --list shows them, and the
// choice that --serial, --index, --location or the number of card printers attached makes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "D2xxDevices.h"

struct PrinterChoice {
    enum class Way { FirstMatch, Index, Serial, Location } way = Way::FirstMatch;
    std::optional<D2xxDevice> device;  // the one chosen, when the list tells which
};

// The printer the options choose among the devices; nullopt with the reason (exit 3) when the
// choice is impossible or not clear: then candidates holds the printers it could have been (several
// card printers and no choice made, or several that report the serial number asked for).
struct PrinterWanted {
    std::string serial;
    std::optional<int> index;
    std::optional<std::uint32_t> location;
};
std::optional<PrinterChoice> ChoosePrinter(const std::vector<D2xxDevice>& devices, const PrinterWanted& wanted,
                                           std::string& problem, std::vector<D2xxDevice>& candidates);

// Opens exactly the printer chosen and shown (by serial number or location, or by index once that
// index still shows it); with none chosen, the window's discovery. Busy: tells why on stderr.
enum class OpenResult { Opened, NotFound, Gone, Replaced, Busy };
OpenResult OpenChosenPrinter(const PrinterChoice& choice);

// One --list line: index, quoted description, serial number, card printer or not, location,
// tab-separated; the device's own strings with their control characters made visible.
std::string DeviceLine(const D2xxDevice& device);
