// Listing the devices and choosing the printer.
#include "DeviceChoice.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "D2XX_Dyn.h"
#include "DownloadFailure.h"
#include "LocationId.h"
#include "VisibleText.h"

std::string DeviceLine(const D2xxDevice& device) {
    const std::string description =
        device.readable ? "\"" + VisibleText(device.description) + "\"" : "(cannot be read)";
    return std::to_string(device.index) + "\t" + description + "\t" +
           (device.serial.empty() ? "-" : VisibleText(device.serial)) + "\t" +
           (device.cardPrinter ? "card printer" : "not a card printer") + "\t" + d2xx::LocationText(device.locationId);
}

std::optional<PrinterChoice> ChoosePrinter(const std::vector<D2xxDevice>& devices, const PrinterWanted& wanted,
                                           std::string& problem, std::vector<D2xxDevice>& candidates) {
    candidates.clear();
    const std::string& serial = wanted.serial;
    const std::optional<int>& index = wanted.index;
    PrinterChoice choice;
    if (wanted.location) {
        choice.way = PrinterChoice::Way::Location;
        const std::string where = d2xx::LocationText(*wanted.location);
        std::vector<D2xxDevice> there;
        for (const D2xxDevice& device : devices) {
            if (device.locationId == *wanted.location) there.push_back(device);
        }
        if (std::none_of(devices.begin(), devices.end(), [](const D2xxDevice& d) { return d.locationId != 0; }) &&
            !devices.empty()) {
            problem =
                "the D2XX library does not tell where devices are attached (it has no FT_GetDeviceInfoDetail); "
                "choose the printer with --serial";
        } else if (there.empty()) {
            problem = "no device is attached at location " + where;
        } else if (there.size() > 1) {
            problem = std::to_string(there.size()) + " devices share location " + where +
                      " (the ports of one chip); choose one with --serial";
            for (const D2xxDevice& device : there) problem += "\n  " + DeviceLine(device);
        } else if (!there.front().cardPrinter) {
            problem = "the device at location " + where + " is not a card printer: " + DeviceLine(there.front());
        } else {
            choice.device = there.front();
            return choice;
        }
        return std::nullopt;
    }
    if (!serial.empty()) {
        choice.way = PrinterChoice::Way::Serial;
        std::vector<D2xxDevice> matching;
        for (const D2xxDevice& device : devices) {
            if (device.cardPrinter && device.serial == serial) matching.push_back(device);
        }
        if (matching.empty()) {
            problem = "no card printer with serial number " + VisibleText(serial) + " is attached";
            return std::nullopt;
        }
        // Chips of one batch are often programmed alike: the serial number then tells nothing.
        if (matching.size() > 1) {
            problem = std::to_string(matching.size()) + " card printers report serial number " + VisibleText(serial) +
                      "; choose one with --location";
            for (const D2xxDevice& device : matching) problem += "\n  " + DeviceLine(device);
            candidates = matching;
            return std::nullopt;
        }
        choice.device = matching.front();
        return choice;
    }
    if (index) {
        choice.way = PrinterChoice::Way::Index;
        if (*index >= static_cast<int>(devices.size())) {
            problem = "there is no device " + std::to_string(*index) + "; " + std::to_string(devices.size()) +
                      " D2XX device(s) attached";
            return std::nullopt;
        }
        const D2xxDevice& device = devices[static_cast<std::size_t>(*index)];
        if (!device.cardPrinter) {
            problem = "device " + std::to_string(*index) + " is not a card printer: " + DeviceLine(device);
            return std::nullopt;
        }
        choice.device = device;
        return choice;
    }
    const std::vector<D2xxDevice> printers = CardPrinters(devices);
    if (printers.size() > 1) {
        problem = std::to_string(printers.size()) +
                  " card printers are attached; choose one with --serial, --location or --index";
        for (const D2xxDevice& printer : printers) problem += "\n  " + DeviceLine(printer);
        candidates = printers;
        return std::nullopt;
    }
    // The one listed is the one to open, not whichever opens first by the time discovery runs.
    if (printers.size() == 1) {
        choice.device = printers.front();
        choice.way = choice.device->serial.empty() ? PrinterChoice::Way::Index : PrinterChoice::Way::Serial;
    }
    return choice;
}

namespace {

// Opened when the chosen index still shows the device chosen; Gone or Replaced when it does not.
OpenResult StillAtItsIndex(const D2xxDevice& device) {
    if (GetFTDeviceDescription(device.index) != FT_OK) return OpenResult::Gone;
    if (FTDeviceDescription != device.description) return OpenResult::Replaced;
    if (GetFTDeviceSerial(device.index) == FT_OK && FTDeviceSerial != device.serial) return OpenResult::Replaced;
    return OpenResult::Opened;
}

}  // namespace

OpenResult OpenChosenPrinter(const PrinterChoice& choice) {
    if (!choice.device) return FindCardPrinter() ? OpenResult::Opened : OpenResult::NotFound;
    const D2xxDevice& device = *choice.device;
    FT_STATUS status = FT_OK;
    PrinterChoice::Way way = choice.way;
    // A library without FT_OpenEx can still open by index, once the index is checked.
    if (way == PrinterChoice::Way::Serial && D2XXSlots.FT_OpenEx == nullptr) way = PrinterChoice::Way::Index;
    switch (way) {
        case PrinterChoice::Way::Serial: status = OpenCardPrinterBySerial(device.serial); break;
        case PrinterChoice::Way::Location: status = OpenCardPrinterAtLocation(device.locationId); break;
        default:
            if (const OpenResult still = StillAtItsIndex(device); still != OpenResult::Opened) return still;
            status = OpenCardPrinterAt(device.index);
            break;
    }
    if (status == FT_OK) return OpenResult::Opened;
    if (status == FT_DEVICE_NOT_FOUND) return OpenResult::Gone;
    std::fprintf(stderr, "fwload-cli: the card printer %s (serial %s) could not be opened (D2XX status %u, %s)%s\n",
                 ("\"" + VisibleText(device.description) + "\"").c_str(), VisibleText(device.serial).c_str(), status,
                 FTStatusName(status).c_str(),
                 status == FT_DEVICE_NOT_OPENED ? "; another program may be using it" : "");
    return OpenResult::Busy;
}
