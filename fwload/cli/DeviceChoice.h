// Which printer fwload-cli downloads to: the attached D2XX devices as --list shows them, and the
// choice that --serial, --index, --location or the number of card printers attached makes.
#pragma once

#include <cstdint>
#include <optional>
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

struct PrinterChoice {
    enum class Way { FirstMatch, Index, Serial, Location } way = Way::FirstMatch;
    std::optional<D2xxDevice> device;  // the one chosen, when the list tells which
};

// The devices that are card printers.
std::vector<D2xxDevice> CardPrinters(const std::vector<D2xxDevice>& devices);

// The printer the options choose among the devices; nullopt with the reason (exit 3) when the
// choice is impossible or, with several card printers and no choice made, not clear.
struct PrinterWanted {
    std::string serial;
    std::optional<int> index;
    std::optional<std::uint32_t> location;
};
std::optional<PrinterChoice> ChoosePrinter(const std::vector<D2xxDevice>& devices, const PrinterWanted& wanted,
                                           std::string& problem);

// Opens exactly the printer chosen and shown (by serial number or location, or by index once that
// index still shows it); with none chosen, the window's discovery. Busy: tells why on stderr.
enum class OpenResult { Opened, NotFound, Gone, Replaced, Busy };
OpenResult OpenChosenPrinter(const PrinterChoice& choice);

// One --list line: index, quoted description, serial number, card printer or not, location,
// tab-separated.
std::string DeviceLine(const D2xxDevice& device);
