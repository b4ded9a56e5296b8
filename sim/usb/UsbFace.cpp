// The virtual printer's USB face: a stand-in libusb-1.0 that shows each configured device as an
// FTDI chip (vendor 0x0403) with the printer behind it, well enough for the real, unmodified
// libftdi1 to drive it. The chip's side: vendor control requests, bulk OUT in 64-byte packets into
// the printer, and bulk IN as the chip answers, every packet led by two modem-status bytes and a
// short packet sent only when the latency timer runs out.
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Loader.h"
#include "PrinterStore.h"
#include "ReceiveQueue.h"
#include "SimConfig.h"
#include "SimExport.h"
#include "Trace.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kFtdiVendor = 0x0403;
constexpr std::uint16_t kFt232rProduct = 0x6001;
constexpr std::uint16_t kFt232rDevice = 0x0600;  // bcdDevice of an FT232R
constexpr unsigned char kBulkOut = 0x02;
constexpr unsigned char kBulkIn = 0x81;
constexpr int kPacketSize = 64;
constexpr int kPacketData = kPacketSize - 2;
constexpr unsigned char kModemStatus = 0x01;  // low nibble 1, no modem lines
constexpr unsigned char kLineStatus = 0x60;   // transmitter empty
constexpr unsigned kDefaultLatencyMs = 16;

// FTDI's vendor requests.
enum : std::uint8_t {
    kReset = 0x00,
    kModemControl = 0x01,
    kFlowControl = 0x02,
    kBaudRate = 0x03,
    kData = 0x04,
    kPollModemStatus = 0x05,
    kEventChar = 0x06,
    kErrorChar = 0x07,
    kSetLatency = 0x09,
    kGetLatency = 0x0A,
    kBitMode = 0x0B,
};

// One chip with the printer behind it, as long as a handle holds it open.
struct Chip {
    explicit Chip(const sim::Config& config, std::size_t index)
        : printerConfig(sim::BehindChip(config)), loader(printerConfig), claim(sim::PrinterFolder(config, index)) {}
    sim::Config printerConfig;
    sim::Loader loader;
    sim::ReceiveQueue received;
    sim::DeviceClaim claim;
    std::map<int, int> shortWritesDone;  // per data frame
    std::map<std::string, int> settings;  // the last value of each control request, for tests
    unsigned latencyMs = kDefaultLatencyMs;
    std::int64_t lastInUs = 0;  // when the chip last sent a packet
};

struct Face {
    std::mutex mutex;
    sim::Config config = sim::LoadConfigFromEnvironment();
    sim::Trace trace;
    const Clock::time_point start = Clock::now();
    std::map<std::size_t, std::unique_ptr<Chip>> open;  // by device index

    Face() { trace.Open(config.tracePath); }
    void Reload() {
        config = sim::LoadConfigFromEnvironment();
        trace.Open(config.tracePath);
    }
    std::int64_t NowUs() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    }
};

Face& TheFace() {
    static Face face;
    return face;
}

}  // namespace

struct libusb_context {
    int users = 1;
};

struct libusb_device {
    std::size_t index = 0;
    int references = 1;
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    bool claimed = false;
};

namespace {

libusb_context defaultContext;

unsigned LatencyOf(const sim::Config& config) {
    return std::getenv("FWSIM_LATENCY_MS") != nullptr ? std::max(1u, config.latencyMs) : kDefaultLatencyMs;
}

Chip* ChipOf(Face& face, libusb_device_handle* handle) {
    if (handle == nullptr || !handle->claimed) return nullptr;
    auto it = face.open.find(handle->device->index);
    return it == face.open.end() ? nullptr : it->second.get();
}

// The error a chip whose printer has vanished or stalled gives every transfer.
int LostChipError(const Chip& chip) { return chip.loader.Stalled() ? LIBUSB_ERROR_PIPE : LIBUSB_ERROR_NO_DEVICE; }

int BulkOut(Face& face, std::size_t index, Chip& chip, const unsigned char* data, int length, int* transferred) {
    if (chip.loader.Vanished()) return LostChipError(chip);
    int accepted = length;
    // A short write: the chip takes part of the frame, then the transfer times out.
    if (const std::optional<int> frame = chip.loader.ExpectedDataFrame()) {
        const sim::ShortWriteRule* rule = sim::FindShortWrite(face.config, *frame);
        if (rule != nullptr && length > 0 && chip.shortWritesDone[*frame] < rule->writes) {
            ++chip.shortWritesDone[*frame];
            accepted = static_cast<int>(std::min<std::uint32_t>(rule->bytes, static_cast<std::uint32_t>(length - 1)));
        }
    }
    const std::int64_t now = face.NowUs();
    for (int sent = 0; sent < accepted && !chip.loader.Vanished(); sent += kPacketSize) {
        const int packet = std::min(kPacketSize, accepted - sent);
        for (sim::LoaderReply& reply : chip.loader.Receive(data + sent, static_cast<std::size_t>(packet))) {
            chip.received.Push(now + static_cast<std::int64_t>(reply.delayMs) * 1000, std::move(reply.bytes));
        }
    }
    if (std::optional<sim::CompletedImage> image = chip.loader.TakeCompletedImage()) {
        sim::RecordCompletedDownload(face.config, index, *image);
    }
    *transferred = accepted;
    face.trace.Line("USB OUT " + std::to_string(length) + " -> " + std::to_string(accepted), data,
                    static_cast<std::size_t>(accepted));
    if (chip.loader.Vanished()) return LostChipError(chip);
    return accepted < length ? LIBUSB_ERROR_TIMEOUT : 0;
}

// Bulk IN as the chip answers it: full packets as soon as 62 bytes wait, otherwise one short
// packet (possibly the two status bytes alone) when the latency timer runs out.
int BulkIn(Face& face, std::unique_lock<std::mutex>& lock, libusb_device_handle* handle, unsigned char* data,
           int length, int* transferred, unsigned timeoutMs) {
    const std::int64_t deadline = face.NowUs() + (timeoutMs == 0 ? INT64_MAX / 2 : std::int64_t{timeoutMs} * 1000);
    for (;;) {
        Chip* chip = ChipOf(face, handle);
        if (chip == nullptr) return LIBUSB_ERROR_NO_DEVICE;
        if (chip->loader.Vanished()) return LostChipError(*chip);
        const std::int64_t now = face.NowUs();
        const std::size_t waiting = chip->received.Readable(now);
        const std::int64_t flushAt = chip->lastInUs + std::int64_t{chip->latencyMs} * 1000;
        if (waiting >= static_cast<std::size_t>(kPacketData) || now >= flushAt) {
            int written = 0;
            while (written + 2 <= length) {
                const std::size_t room = static_cast<std::size_t>(std::min(kPacketData, length - written - 2));
                const std::size_t ready = chip->received.Readable(now);
                // A partial packet goes out only when the timer has run out.
                if (ready < room && now < flushAt && written > 0) break;
                data[written] = kModemStatus;
                data[written + 1] = kLineStatus;
                const std::size_t taken = chip->received.Take(now, data + written + 2, room);
                written += 2 + static_cast<int>(taken);
                if (taken < static_cast<std::size_t>(kPacketData)) break;  // a short packet ends the transfer
            }
            chip->lastInUs = now;
            *transferred = written;
            if (written > 2) {
                face.trace.Line("USB IN " + std::to_string(written), data, static_cast<std::size_t>(written));
            }
            return 0;
        }
        if (now >= deadline) {
            *transferred = 0;
            return LIBUSB_ERROR_TIMEOUT;
        }
        std::int64_t wake = std::min(flushAt, deadline);
        if (const std::optional<std::int64_t> next = chip->received.NextReadableAt(now)) wake = std::min(wake, *next);
        lock.unlock();
        std::this_thread::sleep_until(face.start + std::chrono::microseconds(std::max(wake, now + 100)));
        lock.lock();
    }
}

int Control(Face& face, Chip& chip, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
            unsigned char* data, std::uint16_t length) {
    static const char* const kNames[] = {"reset", "modem-control", "flow-control", "baud-rate", "data",
                                         "modem-status", "event-char", "error-char", "8", "latency",
                                         "get-latency", "bit-mode"};
    if (chip.loader.Vanished()) return LostChipError(chip);
    const std::string name = request < std::size(kNames) ? kNames[request] : std::to_string(request);
    face.trace.Line("USB control " + name + " " + std::to_string(value));
    const bool in = (requestType & LIBUSB_ENDPOINT_IN) != 0;
    switch (request) {
        case kReset:
            // 0 resets the chip, 1 purges what it received, 2 what it has to send (nothing waits there).
            if (value == 0 || value == 1) chip.received.Clear();
            break;
        case kPollModemStatus:
            if (!in || length < 2) return LIBUSB_ERROR_PIPE;
            data[0] = kModemStatus;
            data[1] = kLineStatus;
            return 2;
        case kSetLatency:
            if (value < 1 || value > 255) return LIBUSB_ERROR_PIPE;
            chip.latencyMs = value;
            break;
        case kGetLatency:
            if (!in || length < 1) return LIBUSB_ERROR_PIPE;
            data[0] = static_cast<unsigned char>(chip.latencyMs);
            return 1;
        case kModemControl:
        case kFlowControl:
        case kBaudRate:
        case kData:
        case kEventChar:
        case kErrorChar:
        case kBitMode:
            break;
        default:
            return LIBUSB_ERROR_PIPE;
    }
    chip.settings[name] = value;
    return 0;
}

void FillConfig(libusb_config_descriptor* config) {
    auto* endpoints = new libusb_endpoint_descriptor[2]{};
    for (int i = 0; i < 2; ++i) {
        endpoints[i].bLength = LIBUSB_DT_ENDPOINT_SIZE;
        endpoints[i].bDescriptorType = LIBUSB_DT_ENDPOINT;
        endpoints[i].bEndpointAddress = i == 0 ? kBulkIn : kBulkOut;
        endpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        endpoints[i].wMaxPacketSize = kPacketSize;
    }
    auto* setting = new libusb_interface_descriptor{};
    setting->bLength = LIBUSB_DT_INTERFACE_SIZE;
    setting->bDescriptorType = LIBUSB_DT_INTERFACE;
    setting->bNumEndpoints = 2;
    setting->bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    setting->bInterfaceSubClass = 0xFF;
    setting->bInterfaceProtocol = 0xFF;
    setting->iInterface = 2;
    setting->endpoint = endpoints;
    auto* interface = new libusb_interface{};
    interface->altsetting = setting;
    interface->num_altsetting = 1;
    config->bLength = LIBUSB_DT_CONFIG_SIZE;
    config->bDescriptorType = LIBUSB_DT_CONFIG;
    config->wTotalLength = LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
    config->bNumInterfaces = 1;
    config->bConfigurationValue = 1;
    config->bmAttributes = 0x80;
    config->MaxPower = 45;  // 90 mA
    config->interface = interface;
}

struct Pending {
    libusb_transfer* transfer;
    bool cancelled = false;
};
std::list<Pending> pendingTransfers;  // guarded by the face's mutex

}  // namespace

FWSIM_EXPORT int LIBUSB_CALL libusb_init(libusb_context** context) {
    if (context != nullptr) *context = new libusb_context;
    TheFace();
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_exit(libusb_context* context) {
    if (context != &defaultContext) delete context;
}

FWSIM_EXPORT ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    face.Reload();
    const std::size_t count = face.config.devices.size();
    *list = new libusb_device*[count + 1];
    for (std::size_t i = 0; i < count; ++i) (*list)[i] = new libusb_device{i, 1};
    (*list)[count] = nullptr;
    return static_cast<ssize_t>(count);
}

FWSIM_EXPORT void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unreference) {
    if (list == nullptr) return;
    if (unreference != 0) {
        for (libusb_device** device = list; *device != nullptr; ++device) libusb_unref_device(*device);
    }
    delete[] list;
}

FWSIM_EXPORT libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device) {
    std::lock_guard<std::mutex> lock(TheFace().mutex);
    ++device->references;
    return device;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_unref_device(libusb_device* device) {
    if (device == nullptr) return;
    std::lock_guard<std::mutex> lock(TheFace().mutex);
    if (--device->references == 0) delete device;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_device_descriptor(libusb_device*, libusb_device_descriptor* descriptor) {
    *descriptor = libusb_device_descriptor{};
    descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->bcdUSB = 0x0200;
    descriptor->bMaxPacketSize0 = 8;
    descriptor->idVendor = kFtdiVendor;
    descriptor->idProduct = kFt232rProduct;
    descriptor->bcdDevice = kFt232rDevice;
    descriptor->iManufacturer = 1;
    descriptor->iProduct = 2;
    descriptor->iSerialNumber = 3;
    descriptor->bNumConfigurations = 1;
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_config_descriptor(libusb_device*, uint8_t index,
                                                          libusb_config_descriptor** config) {
    if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
    *config = new libusb_config_descriptor{};
    FillConfig(*config);
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (config == nullptr) return;
    delete[] config->interface->altsetting->endpoint;
    delete config->interface->altsetting;
    delete config->interface;
    delete config;
}

FWSIM_EXPORT uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device*) { return 1; }

FWSIM_EXPORT uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* device) {
    return static_cast<uint8_t>(device->index + 2);
}

FWSIM_EXPORT int LIBUSB_CALL libusb_open(libusb_device* device, libusb_device_handle** handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if (device->index >= face.config.devices.size()) return LIBUSB_ERROR_NO_DEVICE;
    ++device->references;
    *handle = new libusb_device_handle{device, false};
    face.trace.Line("USB open " + std::to_string(device->index));
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if (!handle->claimed) return LIBUSB_ERROR_NOT_FOUND;
    face.open.erase(handle->device->index);
    handle->claimed = false;
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    if (handle == nullptr) return;
    if (handle->claimed) libusb_release_interface(handle, 0);
    libusb_unref_device(handle->device);
    delete handle;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_configuration(libusb_device_handle*, int* configuration) {
    *configuration = 1;
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_set_configuration(libusb_device_handle*, int configuration) {
    return configuration == 1 || configuration == -1 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interface) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if (interface != 0) return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed) return LIBUSB_SUCCESS;
    const std::size_t index = handle->device->index;
    // One claim per chip across processes, as the kernel gives an interface to one owner.
    if (face.open.count(index) != 0) return LIBUSB_ERROR_BUSY;
    const std::vector<int>& refused = face.config.openErrors;
    if (std::find(refused.begin(), refused.end(), static_cast<int>(index)) != refused.end()) return LIBUSB_ERROR_ACCESS;
    auto chip = std::make_unique<Chip>(face.config, index);
    if (!chip->claim.Held()) return LIBUSB_ERROR_BUSY;
    chip->latencyMs = LatencyOf(face.config);
    sim::RememberOpenedPrinter(face.config, index);
    face.open[index] = std::move(chip);
    handle->claimed = true;
    face.trace.Line("USB claim " + std::to_string(index));
    return LIBUSB_SUCCESS;
}

// No kernel driver holds a virtual chip.
FWSIM_EXPORT int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle*, int) { return LIBUSB_ERROR_NOT_FOUND; }
FWSIM_EXPORT int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int) {
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                                unsigned char* data, int length) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::size_t device = handle->device->index;
    if (device >= face.config.devices.size() || length <= 0) return LIBUSB_ERROR_INVALID_PARAM;
    std::string text;
    switch (index) {
        case 1: text = "FTDI"; break;
        case 2: text = face.config.devices[device]; break;
        case 3: text = sim::UsbSerial(face.config, device); break;
        default: return LIBUSB_ERROR_INVALID_PARAM;
    }
    const int copied = std::min(static_cast<int>(text.size()), length - 1);
    std::memcpy(data, text.data(), static_cast<std::size_t>(copied));
    data[copied] = 0;
    return copied;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType,
                                                     uint8_t request, uint16_t value, uint16_t, unsigned char* data,
                                                     uint16_t length, unsigned int) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    Chip* chip = ChipOf(face, handle);
    if (chip == nullptr) return LIBUSB_ERROR_NO_DEVICE;
    return Control(face, *chip, requestType, request, value, data, length);
}

FWSIM_EXPORT int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                                  unsigned char* data, int length, int* transferred,
                                                  unsigned int timeout) {
    Face& face = TheFace();
    std::unique_lock<std::mutex> lock(face.mutex);
    int moved = 0;
    if (transferred == nullptr) transferred = &moved;
    *transferred = 0;
    Chip* chip = ChipOf(face, handle);
    if (chip == nullptr) return LIBUSB_ERROR_NO_DEVICE;
    if (endpoint == kBulkOut) return BulkOut(face, handle->device->index, *chip, data, length, transferred);
    if (endpoint == kBulkIn) return BulkIn(face, lock, handle, data, length, transferred, timeout);
    return LIBUSB_ERROR_PIPE;
}

FWSIM_EXPORT libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int isoPackets) {
    if (isoPackets != 0) return nullptr;
    return new libusb_transfer{};
}

FWSIM_EXPORT void LIBUSB_CALL libusb_free_transfer(libusb_transfer* transfer) {
    if (transfer == nullptr) return;
    if ((transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER) != 0) std::free(transfer->buffer);
    delete transfer;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_submit_transfer(libusb_transfer* transfer) {
    std::lock_guard<std::mutex> lock(TheFace().mutex);
    pendingTransfers.push_back({transfer});
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_cancel_transfer(libusb_transfer* transfer) {
    std::lock_guard<std::mutex> lock(TheFace().mutex);
    for (Pending& pending : pendingTransfers) {
        if (pending.transfer == transfer) {
            pending.cancelled = true;
            return LIBUSB_SUCCESS;
        }
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

// Completes the transfers submitted so far, each as its synchronous twin would, and calls back.
FWSIM_EXPORT int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context*, struct timeval*,
                                                                    int* completed) {
    for (;;) {
        Pending pending{nullptr};
        {
            std::lock_guard<std::mutex> lock(TheFace().mutex);
            if (pendingTransfers.empty() || (completed != nullptr && *completed != 0)) return LIBUSB_SUCCESS;
            pending = pendingTransfers.front();
            pendingTransfers.pop_front();
        }
        libusb_transfer* transfer = pending.transfer;
        if (pending.cancelled) {
            transfer->status = LIBUSB_TRANSFER_CANCELLED;
            transfer->actual_length = 0;
        } else {
            const int result = transfer->type == LIBUSB_TRANSFER_TYPE_CONTROL
                                   ? libusb_control_transfer(transfer->dev_handle, transfer->buffer[0],
                                                             transfer->buffer[1],
                                                             static_cast<uint16_t>(transfer->buffer[2] | transfer->buffer[3] << 8),
                                                             static_cast<uint16_t>(transfer->buffer[4] | transfer->buffer[5] << 8),
                                                             transfer->buffer + LIBUSB_CONTROL_SETUP_SIZE,
                                                             static_cast<uint16_t>(transfer->buffer[6] | transfer->buffer[7] << 8),
                                                             transfer->timeout)
                                   : libusb_bulk_transfer(transfer->dev_handle, transfer->endpoint, transfer->buffer,
                                                          transfer->length, &transfer->actual_length, transfer->timeout);
            if (transfer->type == LIBUSB_TRANSFER_TYPE_CONTROL && result >= 0) transfer->actual_length = result;
            transfer->status = result >= 0                      ? LIBUSB_TRANSFER_COMPLETED
                               : result == LIBUSB_ERROR_TIMEOUT ? LIBUSB_TRANSFER_TIMED_OUT
                               : result == LIBUSB_ERROR_PIPE    ? LIBUSB_TRANSFER_STALL
                                                                : LIBUSB_TRANSFER_NO_DEVICE;
        }
        if (transfer->callback != nullptr) transfer->callback(transfer);
    }
}

FWSIM_EXPORT int LIBUSB_CALL libusb_handle_events_timeout(libusb_context* context, struct timeval* timeout) {
    return libusb_handle_events_timeout_completed(context, timeout, nullptr);
}

// For tests: the last value of a control request on the chip of device N, or -1.
FWSIM_EXPORT int FwSim_UsbSetting(int device, const char* name) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    auto chip = face.open.find(static_cast<std::size_t>(device));
    if (chip == face.open.end()) return -1;
    auto setting = chip->second->settings.find(name);
    return setting == chip->second->settings.end() ? -1 : setting->second;
}

// For tests: how many chips this process has claimed now.
FWSIM_EXPORT int FwSim_UsbOpenCount() {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    return static_cast<int>(face.open.size());
}
