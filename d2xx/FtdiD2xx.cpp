// A free D2XX library: FTDI's D2XX entry points with their published semantics, on libftdi1. Each
// open handle has a libftdi context of its own, in which its device was both found and opened, so
// the handle's libusb context lives exactly as long as the handle. Calls on different handles run in
// parallel; FT_Close ends the calls waiting on its handle (a write in flight is cancelled) and waits
// for them to return.
#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "D2XXTypes.h"
#include "Device.h"
#include "DeviceList.h"

#define D2XX_EXPORT extern "C" __attribute__((visibility("default")))

using d2xx::Device;
using d2xx::DeviceList;
using d2xx::FoundDevice;

namespace {

// A libftdi context and the devices listed in it; the list goes first, the context after it.
class Listing {
public:
    Listing() : context_(ftdi_new()) {
        if (context_ != nullptr) list_.emplace(context_);
    }
    ~Listing() {
        list_.reset();
        if (context_ != nullptr) ftdi_free(context_);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    bool Valid() const { return context_ != nullptr; }
    const std::vector<FoundDevice>& Devices() const {
        static const std::vector<FoundDevice> none;
        return list_ ? list_->Devices() : none;
    }

private:
    ftdi_context* context_;
    std::optional<DeviceList> list_;
};

// Open handles: an FT_HANDLE is a Device*, valid while it is in this table. Each entry counts the
// calls running on it, so that FT_Close can wait for them.
struct HandleEntry {
    int calls = 0;
    bool closing = false;
};
std::mutex handlesMutex;
std::condition_variable handlesIdle;
std::map<Device*, HandleEntry> handles;

// One call on a handle: the device while the handle is open and not closing, else nullptr.
class Use {
public:
    explicit Use(FT_HANDLE handle) {
        std::lock_guard<std::mutex> lock(handlesMutex);
        auto it = handles.find(static_cast<Device*>(handle));
        if (it == handles.end() || it->second.closing) return;
        ++it->second.calls;
        device_ = it->first;
    }
    ~Use() {
        if (device_ == nullptr) return;
        std::lock_guard<std::mutex> lock(handlesMutex);
        --handles[device_].calls;
        handlesIdle.notify_all();
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    Device* operator->() const { return device_; }
    explicit operator bool() const { return device_ != nullptr; }

private:
    Device* device_ = nullptr;
};

// Opens the first listed device that matches, in a context of its own that the handle keeps.
FT_STATUS OpenFirst(const std::function<bool(std::size_t index, const FoundDevice&)>& matches, FT_HANDLE* handle) {
    if (handle == nullptr) return FT_INVALID_PARAMETER;
    ftdi_context* context = ftdi_new();
    if (context == nullptr) return FT_INSUFFICIENT_RESOURCES;
    FT_STATUS status = FT_DEVICE_NOT_FOUND;
    {
        DeviceList list(context);
        const auto& devices = list.Devices();
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (!matches(i, devices[i])) continue;
            ftdi_set_interface(context, static_cast<ftdi_interface>(INTERFACE_A + devices[i].port));
            // Detach ftdi_sio for as long as the handle is open; give the port back to it on close.
            context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
            // Refused when another process has the port, or when the user has no access to it.
            status = ftdi_usb_open_dev(context, devices[i].device) < 0 ? FT_DEVICE_NOT_OPENED : FT_OK;
            break;
        }
    }
    if (status != FT_OK) {
        ftdi_free(context);
        return status;
    }
    auto* device = new Device(context);
    std::lock_guard<std::mutex> lock(handlesMutex);
    handles[device] = {};
    *handle = device;
    return FT_OK;
}

FT_STATUS CopyString(const std::string& text, void* buffer) {
    // As FTDI's library: 64 bytes at most; an over-long text may come back without its NUL.
    std::memcpy(buffer, text.c_str(), std::min<std::size_t>(text.size() + 1, FT_DESCRIPTION_BUFFER_SIZE));
    return FT_OK;
}

FT_STATUS OnDevice(FT_HANDLE handle, const std::function<int(ftdi_context*)>& call, bool dropReceived = false) {
    Use device(handle);
    if (!device) return FT_INVALID_HANDLE;
    return device->Control(call, dropReceived);
}

constexpr std::uint32_t FT_LIST_ALL = 0x20000000u;

// The snapshot FT_CreateDeviceInfoList takes and FT_GetDeviceInfoDetail reads: copies, no devices.
struct InfoNode {
    std::uint32_t flags;
    std::uint32_t type;
    std::uint32_t id;
    std::uint32_t locationId;
    std::string serial;
    std::string description;
};
std::mutex infoMutex;
std::vector<InfoNode> infoList;

}  // namespace

D2XX_EXPORT FT_STATUS FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    Listing list;
    if (!list.Valid()) return FT_INSUFFICIENT_RESOURCES;
    const auto& devices = list.Devices();
    const std::uint32_t what = flags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION);
    const auto text = [&](const FoundDevice& device) {
        return what == FT_OPEN_BY_DESCRIPTION ? device.description : device.serial;
    };
    if ((flags & FT_LIST_NUMBER_ONLY) != 0) {
        if (arg1 == nullptr) return FT_INVALID_PARAMETER;
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(devices.size());
        return FT_OK;
    }
    if ((flags & FT_LIST_BY_INDEX) != 0) {
        const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
        if (arg2 == nullptr) return FT_INVALID_PARAMETER;
        if (index >= devices.size()) return FT_DEVICE_NOT_FOUND;
        if (what == FT_OPEN_BY_LOCATION) {
            *static_cast<std::uint32_t*>(arg2) = devices[index].locationId;
            return FT_OK;
        }
        // A device whose strings cannot be read is no device with an empty description.
        if (devices[index].status != FT_OK) return devices[index].status;
        return CopyString(text(devices[index]), arg2);
    }
    if (what == FT_OPEN_BY_LOCATION) return FT_NOT_SUPPORTED;
    if ((flags & FT_LIST_ALL) != 0) {
        // arg1: an array of buffer pointers, ended by a null one; arg2: the count.
        if (arg1 == nullptr) return FT_INVALID_PARAMETER;
        auto** buffers = static_cast<char**>(arg1);
        for (std::size_t i = 0; i < devices.size() && buffers[i] != nullptr; ++i) CopyString(text(devices[i]), buffers[i]);
        if (arg2 != nullptr) *static_cast<std::uint32_t*>(arg2) = static_cast<std::uint32_t>(devices.size());
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

D2XX_EXPORT FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* handle) {
    if (deviceNumber < 0) return FT_DEVICE_NOT_FOUND;
    return OpenFirst([deviceNumber](std::size_t index, const FoundDevice&) {
        return index == static_cast<std::size_t>(deviceNumber);
    }, handle);
}

D2XX_EXPORT FT_STATUS FT_CreateDeviceInfoList(std::uint32_t* count) {
    if (count == nullptr) return FT_INVALID_PARAMETER;
    Listing list;
    if (!list.Valid()) return FT_INSUFFICIENT_RESOURCES;
    std::vector<InfoNode> nodes;
    for (const FoundDevice& device : list.Devices()) {
        // A device this user cannot open is listed as one another process holds, without strings.
        nodes.push_back({(device.status == FT_OK ? 0 : FT_FLAGS_OPENED) | (device.highSpeed ? FT_FLAGS_HISPEED : 0),
                         device.type, device.id, device.locationId, device.serial, device.description});
    }
    std::lock_guard<std::mutex> lock(infoMutex);
    infoList = std::move(nodes);
    *count = static_cast<std::uint32_t>(infoList.size());
    return FT_OK;
}

// The handle is always null: which of this process's handles holds a port is not kept.
D2XX_EXPORT FT_STATUS FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                             std::uint32_t* id, std::uint32_t* locationId, void* serial,
                                             void* description, FT_HANDLE* handle) {
    std::lock_guard<std::mutex> lock(infoMutex);
    if (index >= infoList.size()) return FT_DEVICE_NOT_FOUND;
    if (flags == nullptr || type == nullptr || id == nullptr || locationId == nullptr || serial == nullptr ||
        description == nullptr || handle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    const InfoNode& node = infoList[index];
    *flags = node.flags;
    *type = node.type;
    *id = node.id;
    *locationId = node.locationId;
    const std::string serialText = node.serial.substr(0, FT_SERIAL_BUFFER_SIZE - 1);
    std::memcpy(serial, serialText.c_str(), serialText.size() + 1);
    CopyString(node.description, description);
    *handle = nullptr;
    return FT_OK;
}

D2XX_EXPORT FT_STATUS FT_OpenEx(void* arg, std::uint32_t flags, FT_HANDLE* handle) {
    if (flags == FT_OPEN_BY_LOCATION) {
        const auto location = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg));
        return OpenFirst([location](std::size_t, const FoundDevice& device) {
            return location != 0 && device.locationId == location;
        }, handle);
    }
    if (arg == nullptr || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION)) {
        return FT_INVALID_PARAMETER;
    }
    const std::string wanted = static_cast<const char*>(arg);
    return OpenFirst([&](std::size_t, const FoundDevice& device) {
        return device.status == FT_OK &&
               (flags == FT_OPEN_BY_SERIAL_NUMBER ? device.serial : device.description) == wanted;
    }, handle);
}

D2XX_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
    auto* device = static_cast<Device*>(handle);
    {
        std::unique_lock<std::mutex> lock(handlesMutex);
        auto it = handles.find(device);
        if (it == handles.end() || it->second.closing) return FT_INVALID_HANDLE;
        it->second.closing = true;
        device->BeginClose();
        handlesIdle.wait(lock, [&] { return handles[device].calls == 0; });
        handles.erase(device);
    }
    delete device;
    return FT_OK;
}

D2XX_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* received) {
    Use device(handle);
    if (!device) return FT_INVALID_HANDLE;
    if (received == nullptr || (buffer == nullptr && count > 0)) return FT_INVALID_PARAMETER;
    return device->Read(static_cast<std::uint8_t*>(buffer), count, received);
}

D2XX_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* written) {
    Use device(handle);
    if (!device) return FT_INVALID_HANDLE;
    if (written == nullptr || (buffer == nullptr && count > 0)) return FT_INVALID_PARAMETER;
    *written = 0;
    return device->Write(static_cast<std::uint8_t*>(buffer), count, written);
}

D2XX_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, std::uint32_t* rxBytes) {
    Use device(handle);
    if (!device) return FT_INVALID_HANDLE;
    if (rxBytes == nullptr) return FT_INVALID_PARAMETER;
    return device->QueueStatus(rxBytes);
}

D2XX_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    Use device(handle);
    if (!device) return FT_INVALID_HANDLE;
    return device->SetTimeouts(readTimeout, writeTimeout);
}

D2XX_EXPORT FT_STATUS FT_Purge(FT_HANDLE handle, std::uint32_t mask) {
    if ((mask & ~(FT_PURGE_RX | FT_PURGE_TX)) != 0) return FT_INVALID_PARAMETER;
    return OnDevice(
        handle,
        [mask](ftdi_context* context) {
            int result = 0;
            if ((mask & FT_PURGE_RX) != 0) result = ftdi_tciflush(context);
            if (result >= 0 && (mask & FT_PURGE_TX) != 0) result = ftdi_tcoflush(context);
            return result;
        },
        (mask & FT_PURGE_RX) != 0);
}

D2XX_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
    return OnDevice(handle, [](ftdi_context* context) { return ftdi_usb_reset(context); }, true);
}

D2XX_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE handle, std::uint32_t baudRate) {
    if (baudRate == 0) return FT_INVALID_BAUD_RATE;
    return OnDevice(handle, [baudRate](ftdi_context* context) {
        return ftdi_set_baudrate(context, static_cast<int>(baudRate));
    });
}

// D2XX's word length, stop bits and parity values are libftdi's enumerators.
D2XX_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                                std::uint8_t parity) {
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4) {
        return FT_INVALID_PARAMETER;
    }
    return OnDevice(handle, [=](ftdi_context* context) {
        return ftdi_set_line_property(context, static_cast<ftdi_bits_type>(wordLength),
                                      static_cast<ftdi_stopbits_type>(stopBits), static_cast<ftdi_parity_type>(parity));
    });
}

// D2XX's flow control values (0, 0x100 RTS/CTS, 0x200 DTR/DSR, 0x400 XON/XOFF) are libftdi's.
D2XX_EXPORT FT_STATUS FT_SetFlowControl(FT_HANDLE handle, std::uint16_t flowControl, std::uint8_t xon,
                                        std::uint8_t xoff) {
    return OnDevice(handle, [=](ftdi_context* context) {
        return flowControl == SIO_XON_XOFF_HS ? ftdi_setflowctrl_xonxoff(context, xon, xoff)
                                              : ftdi_setflowctrl(context, flowControl);
    });
}

D2XX_EXPORT FT_STATUS FT_SetDtr(FT_HANDLE handle) {
    return OnDevice(handle, [](ftdi_context* context) { return ftdi_setdtr(context, 1); });
}
D2XX_EXPORT FT_STATUS FT_ClrDtr(FT_HANDLE handle) {
    return OnDevice(handle, [](ftdi_context* context) { return ftdi_setdtr(context, 0); });
}
D2XX_EXPORT FT_STATUS FT_SetRts(FT_HANDLE handle) {
    return OnDevice(handle, [](ftdi_context* context) { return ftdi_setrts(context, 1); });
}
D2XX_EXPORT FT_STATUS FT_ClrRts(FT_HANDLE handle) {
    return OnDevice(handle, [](ftdi_context* context) { return ftdi_setrts(context, 0); });
}

// Modem status in the low byte, line status in the next, as libftdi returns them.
D2XX_EXPORT FT_STATUS FT_GetModemStatus(FT_HANDLE handle, std::uint32_t* status) {
    if (status == nullptr) return FT_INVALID_PARAMETER;
    return OnDevice(handle, [status](ftdi_context* context) {
        unsigned short value = 0;
        const int result = ftdi_poll_modem_status(context, &value);
        *status = value;
        return result;
    });
}

D2XX_EXPORT FT_STATUS FT_SetChars(FT_HANDLE handle, std::uint8_t eventChar, std::uint8_t eventEnable,
                                  std::uint8_t errorChar, std::uint8_t errorEnable) {
    return OnDevice(handle, [=](ftdi_context* context) {
        const int result = ftdi_set_event_char(context, eventChar, eventEnable);
        return result < 0 ? result : ftdi_set_error_char(context, errorChar, errorEnable);
    });
}

D2XX_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t latency) {
    if (latency < 1) return FT_INVALID_PARAMETER;
    return OnDevice(handle, [latency](ftdi_context* context) { return ftdi_set_latency_timer(context, latency); });
}

D2XX_EXPORT FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, std::uint8_t* latency) {
    if (latency == nullptr) return FT_INVALID_PARAMETER;
    return OnDevice(handle, [latency](ftdi_context* context) {
        unsigned char value = 0;
        const int result = ftdi_get_latency_timer(context, &value);
        *latency = value;
        return result;
    });
}

// Nothing here reads or writes a chip's EEPROM.
D2XX_EXPORT FT_STATUS FT_EE_Read(FT_HANDLE, void*) { return FT_NOT_SUPPORTED; }
D2XX_EXPORT FT_STATUS FT_EE_ReadEx(FT_HANDLE, void*, char*, char*, char*, char*) { return FT_NOT_SUPPORTED; }
D2XX_EXPORT FT_STATUS FT_EraseEE(FT_HANDLE) { return FT_NOT_SUPPORTED; }
D2XX_EXPORT FT_STATUS FT_EE_Program(FT_HANDLE, void*) { return FT_NOT_SUPPORTED; }
