// Listing the attached devices.
#include "D2xxDevices.h"

#include <algorithm>
#include <iterator>

#include "D2XX_Dyn.h"
#include "DynamicLibrary.h"

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
    // Locations come from the device information list, in the same order; a list that changed in
    // between tells nothing.
    std::vector<FTDevicePlace> places;
    if (GetFTDevicePlaces(places) == FT_OK && places.size() == devices.size()) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (places[i].serial == devices[i].serial) devices[i].locationId = places[i].locationId;
        }
    }
    return true;
}

std::vector<D2xxDevice> CardPrinters(const std::vector<D2xxDevice>& devices) {
    std::vector<D2xxDevice> printers;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(printers),
                 [](const D2xxDevice& device) { return device.cardPrinter; });
    return printers;
}

// What is missing, and where to get it.
std::string DriverMissingText() {
#if defined(_WIN32)
    const char* remedy = "install FTDI's D2XX driver package, which brings it";
#else
    // True whether the package comes from the suite's apt repository or as a .deb file.
    const char* remedy =
        "install the cardprinter-suite-d2xx package (from the suite's apt repository, or its .deb "
        "file with apt install ./cardprinter-suite-d2xx_*.deb), or FTDI's own libftd2xx.so";
#endif
    return std::string("the FTDI D2XX driver library (") + platform::NativeLibraryName("ftd2xx.dll") +
           ") was not found; " + remedy;
}
