// The attached FTDI devices as FTDI's library lists them: one entry per port of a multi-port chip,
// in a stable order, with their strings.
#pragma once

#include <ftdi.h>
#include <libusb.h>

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
