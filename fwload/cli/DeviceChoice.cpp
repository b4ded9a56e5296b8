// Listing the devices and choosing the printer.
#include "DeviceChoice.h"

#include <cstdio>

#include "D2XX_Dyn.h"
#include "DownloadFailure.h"

bool ListD2xxDevices(std::vector<D2xxDevice>& devices) {
    devices.clear();
    if (GetFTDeviceCount() != FT_OK) return false;
    for (std::uint32_t i = 0; i < FTDeviceCount; ++i) {
        D2xxDevice device;
        device.index = static_cast<std::int32_t>(i);
        if (GetFTDeviceDescription(device.index) == FT_OK) {
            device.readable = true;
            device.description = FTDeviceDescription;
            device.cardPrinter = IsCardPrinterDescription(FTDeviceDescription);
        }
        if (GetFTDeviceSerial(device.index) == FT_OK) device.serial = FTDeviceSerial;
        devices.push_back(device);
    }
    return true;
}

std::string DeviceLine(const D2xxDevice& device) {
    const std::string description = device.readable ? "\"" + device.description + "\"" : "(cannot be read)";
    return std::to_string(device.index) + "\t" + description + "\t" + (device.serial.empty() ? "-" : device.serial) +
           "\t" + (device.cardPrinter ? "card printer" : "not a card printer");
}

std::optional<PrinterChoice> ChoosePrinter(const std::vector<D2xxDevice>& devices, const std::string& serial,
                                           std::optional<int> index, std::string& problem) {
    PrinterChoice choice;
    if (!serial.empty()) {
        choice.way = PrinterChoice::Way::Serial;
        for (const D2xxDevice& device : devices) {
            if (device.cardPrinter && device.serial == serial) choice.device = device;
        }
        if (!choice.device) problem = "no card printer with serial number " + serial + " is attached";
        return choice.device ? std::optional<PrinterChoice>(choice) : std::nullopt;
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
    std::vector<D2xxDevice> printers;
    for (const D2xxDevice& device : devices) {
        if (device.cardPrinter) printers.push_back(device);
    }
    if (printers.size() > 1) {
        problem = std::to_string(printers.size()) + " card printers are attached; choose one with --serial";
        for (const D2xxDevice& printer : printers) problem += "\n  " + DeviceLine(printer);
        return std::nullopt;
    }
    if (printers.size() == 1) choice.device = printers.front();
    return choice;
}

bool OpenChosenPrinter(const PrinterChoice& choice) {
    if (choice.way == PrinterChoice::Way::FirstMatch) return FindCardPrinter();
    const FT_STATUS status = choice.way == PrinterChoice::Way::Serial ? OpenCardPrinterBySerial(choice.device->serial)
                                                                      : OpenCardPrinterAt(choice.device->index);
    if (status == FT_OK) return true;
    std::fprintf(stderr, "fwload-cli: the card printer %s (serial %s) could not be opened (D2XX status %u, %s)%s\n",
                 ("\"" + choice.device->description + "\"").c_str(), choice.device->serial.c_str(), status,
                 FTStatusName(status).c_str(),
                 status == FT_DEVICE_NOT_OPENED ? "; another program may be using it" : "");
    return false;
}
