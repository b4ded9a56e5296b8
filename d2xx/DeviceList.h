// The attached FTDI devices as FTDI's library lists them: one entry per port of a multi-port chip,
// in a stable order, with their strings.
#pragma once

#include <ftdi.h>
#include <libusb.h>

#include <cstdint>
#include <string>
#include <vector>

#include "D2XXTypes.h"

namespace d2xx {

struct FoundDevice {
    libusb_device* device = nullptr;  // referenced while the list lives
    int port = 0;                     // 0 for A, 1 for B, ...
    std::string description;          // a port's letter appended on a multi-port chip
    std::string serial;
    FT_STATUS status = FT_OK;         // FT_DEVICE_NOT_OPENED when its strings cannot be read (no access)
    std::uint32_t id = 0;             // vendor in the high word, product in the low
    std::uint32_t type = FT_DEVICE_UNKNOWN;  // the chip, as D2XX numbers it
    std::uint32_t locationId = 0;     // the port path (LocationId.h); 0 when it has none
    bool highSpeed = false;
};

class DeviceList {
public:
    // Lists the devices in the given libftdi context, which must outlive the list; a device opened
    // from the list belongs to that context.
    explicit DeviceList(ftdi_context* context);
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    const std::vector<FoundDevice>& Devices() const { return devices_; }

private:
    std::vector<FoundDevice> devices_;
};

}  // namespace d2xx
