// A free D2XX library: FTDI's D2XX entry points with their published semantics, on libftdi1. Each
// open device has a reader thread that fills the library's own receive buffer from the chip, as
// FTDI's driver does, so FT_GetQueueStatus answers at once and FT_Read waits for its count or its
// timeout. Calls on different handles run in parallel; one handle's calls are serialised.
#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "D2XXTypes.h"

#define D2XX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kFtdiVendor = 0x0403;
constexpr std::uint16_t kStandardProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
constexpr char kDeviceListFile[] = "/etc/cardprinter-suite/d2xx-devices";
constexpr int kStringSize = 64;
constexpr int kReaderChunk = 4096;
constexpr int kReaderTimeoutMs = 250;  // how long one read of the reader thread may block

// Vendor and product ids to look for: FTDI's own, then those the device list adds ("VID:PID" in
// hex, one a line; '#' starts a comment).
std::vector<std::pair<std::uint16_t, std::uint16_t>> DeviceIds() {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> ids;
    for (std::uint16_t product : kStandardProducts) ids.emplace_back(kFtdiVendor, product);
    const char* override = std::getenv("CARDPRINTER_D2XX_DEVICES");  // for tests
    std::ifstream list(override != nullptr ? override : kDeviceListFile);
    std::string line;
    while (std::getline(list, line)) {
        line = line.substr(0, line.find('#'));
        unsigned vendor = 0;
        unsigned product = 0;
        if (std::sscanf(line.c_str(), " %x : %x", &vendor, &product) == 2 && vendor <= 0xFFFF && product <= 0xFFFF) {
            const std::pair<std::uint16_t, std::uint16_t> id(static_cast<std::uint16_t>(vendor),
                                                             static_cast<std::uint16_t>(product));
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        }
    }
    return ids;
}

struct FoundDevice {
    libusb_device* device = nullptr;  // referenced while the list lives
    std::string description;
    std::string serial;
};

// The attached devices in a stable order, with their strings.
class DeviceList {
public:
    DeviceList() : context_(ftdi_new()) {
        if (context_ == nullptr) return;
        for (const auto& [vendor, product] : DeviceIds()) {
            ftdi_device_list* list = nullptr;
            if (ftdi_usb_find_all(context_, &list, vendor, product) < 0) continue;
            for (ftdi_device_list* entry = list; entry != nullptr; entry = entry->next) {
                FoundDevice found;
                found.device = libusb_ref_device(entry->dev);
                char description[kStringSize] = {};
                char serial[kStringSize] = {};
                ftdi_usb_get_strings(context_, entry->dev, nullptr, 0, description, sizeof description, serial,
                                     sizeof serial);
                found.description = description;
                found.serial = serial;
                devices_.push_back(found);
            }
            ftdi_list_free(&list);
        }
    }
    ~DeviceList() {
        for (FoundDevice& found : devices_) libusb_unref_device(found.device);
        if (context_ != nullptr) ftdi_free(context_);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    bool Valid() const { return context_ != nullptr; }
    const std::vector<FoundDevice>& Devices() const { return devices_; }

private:
    ftdi_context* context_;
    std::vector<FoundDevice> devices_;
};

// One open device.
class Device {
public:
    explicit Device(ftdi_context* context) : context_(context), reader_([this] { ReadFromChip(); }) {}
    ~Device() {
        stop_ = true;
        reader_.join();
        ftdi_usb_close(context_);
        ftdi_free(context_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    FT_STATUS Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* received) {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto deadline = Clock::now() + std::chrono::milliseconds(readTimeoutMs_);
        const auto ready = [&] { return received_.size() >= count || lost_; };
        if (readTimeoutMs_ == 0) {
            arrived_.wait(lock, ready);  // no timeout: wait for the count, as the chip's driver does
        } else {
            arrived_.wait_until(lock, deadline, ready);
        }
        const std::size_t taken = std::min<std::size_t>(count, received_.size());
        std::copy_n(received_.begin(), taken, buffer);
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(taken));
        *received = static_cast<std::uint32_t>(taken);
        return lost_ && taken < count ? FT_IO_ERROR : FT_OK;
    }

    FT_STATUS Write(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* written) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (lost_) return FT_IO_ERROR;
        const unsigned timeout = writeTimeoutMs_;
        lock.unlock();
        int moved = 0;
        const int result = libusb_bulk_transfer(context_->usb_dev, static_cast<unsigned char>(context_->in_ep),
                                                buffer, static_cast<int>(count), &moved, timeout);
        *written = static_cast<std::uint32_t>(std::max(moved, 0));
        // A timeout is FT_OK with what went out; anything else is the device failing.
        if (result == 0 || result == LIBUSB_ERROR_TIMEOUT) return FT_OK;
        MarkLost();
        return FT_IO_ERROR;
    }

    FT_STATUS QueueStatus(std::uint32_t* bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lost_) return FT_IO_ERROR;
        *bytes = static_cast<std::uint32_t>(received_.size());
        return FT_OK;
    }

    void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
        std::lock_guard<std::mutex> lock(mutex_);
        readTimeoutMs_ = readMs;
        writeTimeoutMs_ = writeMs;
    }

    // Runs a libftdi call with the reader paused, so that nothing reads the chip meanwhile.
    template <typename Call>
    FT_STATUS WithChip(Call call, bool clearReceived = false) {
        std::lock_guard<std::mutex> chip(chipMutex_);
        if (Lost()) return FT_IO_ERROR;
        const int result = call(context_);
        if (clearReceived) {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.clear();
        }
        if (result == LIBUSB_ERROR_NO_DEVICE) MarkLost();  // libftdi passes some of libusb's codes on
        return result >= 0 ? FT_OK : (Lost() ? FT_IO_ERROR : FT_OTHER_ERROR);
    }

    bool Lost() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lost_;
    }

private:
    void MarkLost() {
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
        arrived_.notify_all();
    }

    // The driver's side: keeps reading the chip into the receive buffer until the handle closes or
    // the device is gone. The chip paces it: an empty read returns after its latency timer. The
    // bulk reads are made here rather than by ftdi_read_data, which holds back what a packet brought
    // until an empty packet follows, one latency period later.
    void ReadFromChip() {
        std::vector<unsigned char> chunk(kReaderChunk);
        const int packet = std::max(static_cast<int>(context_->max_packet_size), 3);
        while (!stop_) {
            int got = 0;
            int result = 0;
            {
                std::lock_guard<std::mutex> chip(chipMutex_);
                result = libusb_bulk_transfer(context_->usb_dev, static_cast<unsigned char>(context_->out_ep),
                                              chunk.data(), static_cast<int>(chunk.size()), &got, kReaderTimeoutMs);
            }
            if (result != 0 && result != LIBUSB_ERROR_TIMEOUT) {
                MarkLost();
                return;
            }
            // Every packet starts with the chip's two modem-status bytes.
            std::lock_guard<std::mutex> lock(mutex_);
            for (int start = 0; start < got; start += packet) {
                const int end = std::min(start + packet, got);
                if (end - start > 2) received_.insert(received_.end(), chunk.begin() + start + 2, chunk.begin() + end);
            }
            if (got > 2) arrived_.notify_all();
        }
    }

    ftdi_context* context_;
    std::mutex mutex_;       // the receive buffer, the timeouts, lost_
    std::mutex chipMutex_;   // libftdi's read state, shared by reads and purges
    std::condition_variable arrived_;
    std::deque<std::uint8_t> received_;
    std::uint32_t readTimeoutMs_ = 0;
    std::uint32_t writeTimeoutMs_ = 0;
    bool lost_ = false;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

// Open handles: an FT_HANDLE is a Device*, valid only while it is in this set.
std::mutex handlesMutex;
std::vector<Device*> handles;

Device* Find(FT_HANDLE handle) {
    std::lock_guard<std::mutex> lock(handlesMutex);
    auto* device = static_cast<Device*>(handle);
    return std::find(handles.begin(), handles.end(), device) != handles.end() ? device : nullptr;
}

FT_STATUS OpenDevice(libusb_device* usbDevice, FT_HANDLE* handle) {
    if (handle == nullptr) return FT_INVALID_PARAMETER;
    ftdi_context* context = ftdi_new();
    if (context == nullptr) return FT_INSUFFICIENT_RESOURCES;
    // libftdi detaches ftdi_sio on open and, in this mode, attaches nothing again on close.
    ftdi_set_interface(context, INTERFACE_A);
    context->module_detach_mode = AUTO_DETACH_SIO_MODULE;
    if (ftdi_usb_open_dev(context, usbDevice) < 0) {
        ftdi_free(context);
        return FT_DEVICE_NOT_OPENED;  // in use by another process, or no access
    }
    auto* device = new Device(context);
    std::lock_guard<std::mutex> lock(handlesMutex);
    handles.push_back(device);
    *handle = device;
    return FT_OK;
}

FT_STATUS CopyString(const std::string& text, void* buffer) {
    // As FTDI's library: 64 bytes at most; an over-long text may come back without its NUL.
    std::memcpy(buffer, text.c_str(), std::min<std::size_t>(text.size() + 1, FT_DESCRIPTION_BUFFER_SIZE));
    return FT_OK;
}

template <typename Call>
FT_STATUS OnDevice(FT_HANDLE handle, Call call, bool clearReceived = false) {
    Device* device = Find(handle);
    if (device == nullptr) return FT_INVALID_HANDLE;
    return device->WithChip(call, clearReceived);
}

constexpr std::uint32_t FT_LIST_ALL = 0x20000000u;
constexpr std::uint32_t FT_OPEN_BY_LOCATION = 4u;

}  // namespace

D2XX_EXPORT FT_STATUS FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    DeviceList list;
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
    if (what == FT_OPEN_BY_LOCATION) return FT_NOT_SUPPORTED;
    if ((flags & FT_LIST_BY_INDEX) != 0) {
        const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
        if (arg2 == nullptr) return FT_INVALID_PARAMETER;
        if (index >= devices.size()) return FT_DEVICE_NOT_FOUND;
        return CopyString(text(devices[index]), arg2);
    }
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
    DeviceList list;
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= list.Devices().size()) return FT_DEVICE_NOT_FOUND;
    return OpenDevice(list.Devices()[static_cast<std::size_t>(deviceNumber)].device, handle);
}

D2XX_EXPORT FT_STATUS FT_OpenEx(void* arg, std::uint32_t flags, FT_HANDLE* handle) {
    if (arg == nullptr || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION)) {
        return flags == FT_OPEN_BY_LOCATION ? FT_NOT_SUPPORTED : FT_INVALID_PARAMETER;
    }
    const std::string wanted = static_cast<const char*>(arg);
    DeviceList list;
    for (const FoundDevice& device : list.Devices()) {
        if ((flags == FT_OPEN_BY_SERIAL_NUMBER ? device.serial : device.description) == wanted) {
            return OpenDevice(device.device, handle);
        }
    }
    return FT_DEVICE_NOT_FOUND;
}

D2XX_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
    Device* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(handlesMutex);
        auto it = std::find(handles.begin(), handles.end(), static_cast<Device*>(handle));
        if (it == handles.end()) return FT_INVALID_HANDLE;
        device = *it;
        handles.erase(it);
    }
    delete device;
    return FT_OK;
}

D2XX_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* received) {
    Device* device = Find(handle);
    if (device == nullptr) return FT_INVALID_HANDLE;
    if (received == nullptr || (buffer == nullptr && count > 0)) return FT_INVALID_PARAMETER;
    return device->Read(static_cast<std::uint8_t*>(buffer), count, received);
}

D2XX_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* written) {
    Device* device = Find(handle);
    if (device == nullptr) return FT_INVALID_HANDLE;
    if (written == nullptr || (buffer == nullptr && count > 0)) return FT_INVALID_PARAMETER;
    *written = 0;
    return device->Write(static_cast<std::uint8_t*>(buffer), count, written);
}

D2XX_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, std::uint32_t* rxBytes) {
    Device* device = Find(handle);
    if (device == nullptr) return FT_INVALID_HANDLE;
    if (rxBytes == nullptr) return FT_INVALID_PARAMETER;
    return device->QueueStatus(rxBytes);
}

D2XX_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    Device* device = Find(handle);
    if (device == nullptr) return FT_INVALID_HANDLE;
    device->SetTimeouts(readTimeout, writeTimeout);
    return device->Lost() ? FT_IO_ERROR : FT_OK;
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
