// The attached FTDI devices; see DeviceList.h.
#include "DeviceList.h"

#include "DeviceIds.h"

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
            for (int port = 0; port < ports; ++port) {
                FoundDevice found;
                found.device = libusb_ref_device(entry->dev);
                found.port = port;
                found.status = readable ? FT_OK : FT_DEVICE_NOT_OPENED;
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
