// The attached FTDI devices; see DeviceList.h.
#include "DeviceList.h"

#include "DeviceIds.h"
#include "LocationId.h"

namespace d2xx {
namespace {

constexpr int kStringSize = 64;

int PortCount(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_config_descriptor(device, 0, &config) != 0) return 1;
    const int ports = config->bNumInterfaces > 1 ? config->bNumInterfaces : 1;
    libusb_free_config_descriptor(config);
    return ports;
}

// D2XX's chip types by the release number's high byte (bcdDevice), as FTDI's chips report it.
std::uint32_t ChipType(std::uint16_t release) {
    switch (release >> 8) {
        case 0x02: return 1;   // FT_DEVICE_AM
        case 0x04: return 0;   // FT_DEVICE_BM
        case 0x05: return 4;   // FT_DEVICE_2232C
        case 0x06: return 5;   // FT_DEVICE_232R
        case 0x07: return 6;   // FT_DEVICE_2232H
        case 0x08: return 7;   // FT_DEVICE_4232H
        case 0x09: return 8;   // FT_DEVICE_232H
        case 0x10: return 9;   // FT_DEVICE_X_SERIES
        default: return FT_DEVICE_UNKNOWN;
    }
}

std::uint32_t LocationIdOf(libusb_device* device) {
    std::uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth <= 0) return 0;
    return d2xx::LocationIdOf(libusb_get_bus_number(device), std::vector<unsigned>(ports, ports + depth));
}

}  // namespace

DeviceList::DeviceList(ftdi_context* context) {
    for (const auto& [vendor, product] : DeviceIds()) {
        ftdi_device_list* list = nullptr;
        if (ftdi_usb_find_all(context, &list, vendor, product) < 0) continue;
        for (ftdi_device_list* entry = list; entry != nullptr; entry = entry->next) {
            char description[kStringSize] = {};
            char serial[kStringSize] = {};
            // Opening the device to read its strings fails where the user has no access to it.
            const bool readable = ftdi_usb_get_strings(context, entry->dev, nullptr, 0, description, sizeof description,
                                                       serial, sizeof serial) >= 0;
            const int ports = PortCount(entry->dev);
            libusb_device_descriptor descriptor{};
            libusb_get_device_descriptor(entry->dev, &descriptor);
            for (int port = 0; port < ports; ++port) {
                FoundDevice found;
                found.device = libusb_ref_device(entry->dev);
                found.port = port;
                found.status = readable ? FT_OK : FT_DEVICE_NOT_OPENED;
                found.id = static_cast<std::uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
                found.type = ChipType(descriptor.bcdDevice);
                found.locationId = LocationIdOf(entry->dev);
                found.highSpeed = libusb_get_device_speed(entry->dev) >= LIBUSB_SPEED_HIGH;
                if (readable) {
                    const std::string letter = ports > 1 ? std::string(1, static_cast<char>('A' + port)) : "";
                    found.description = description + (ports > 1 ? " " + letter : "");
                    found.serial = serial + letter;
                }
                devices_.push_back(found);
            }
        }
        ftdi_list_free(&list);
    }
}

DeviceList::~DeviceList() {
    for (FoundDevice& found : devices_) libusb_unref_device(found.device);
}

}  // namespace d2xx
