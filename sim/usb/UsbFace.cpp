// The virtual printer's USB face: a stand-in libusb-1.0 that shows each configured device as an
// FTDI chip (vendor 0x0403) with the printer behind it, well enough for the real, unmodified
// libftdi1 to drive it. It holds its callers to libusb's rules: a device belongs to the context that
// listed it and a handle to its device's context; closing a context with a handle still open, or
// using anything after its context or handle is gone, stops the process with a message, as the
// real library would crash on it later.
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Chip.h"
#include "LocationId.h"
#include "SimExport.h"

namespace {

constexpr std::uint16_t kFtdiVendor = 0x0403;
constexpr unsigned kDefaultLatencyMs = 16;

struct InFlight {
    libusb_transfer* transfer;
    bool running = false;
    bool cancelled = false;
};

}  // namespace

struct libusb_context {
    std::list<InFlight> transfers;  // submitted and not yet handed back
    int handles = 0;
    int users = 1;  // libusb_init calls on the default context
};

struct libusb_device {
    libusb_context* context;
    std::size_t index;
    int references;
};

struct libusb_device_handle {
    libusb_device* device;
    int claimed = -1;  // the claimed interface
    int inFlight = 0;  // transfers submitted and not handed back
};

namespace {

using Key = std::pair<std::size_t, int>;  // device, interface

struct Face : sim::UsbBus {
    std::set<libusb_context*> contexts;
    std::set<libusb_device*> devices;
    std::set<libusb_device_handle*> handles;
    libusb_context* defaultContext = nullptr;
    std::map<Key, std::unique_ptr<sim::Chip>> open;
    bool claimedAny = false;  // this process left a note of the printer it opened

    Face() { trace.Open(config.tracePath); }
    ~Face() {
        if (claimedAny) sim::ForgetOpenedPrinter(config);
    }
    void Reload() {
        config = sim::LoadConfigFromEnvironment();
        trace.Open(config.tracePath);
    }
};

Face& TheFace() {
    static Face face;
    return face;
}

[[noreturn]] void Violation(Face& face, const std::string& what) {
    const std::string text = "stand-in libusb: " + what + " (libusb itself would use freed memory here)";
    face.trace.Line(text);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::abort();
}

libusb_context* CheckedContext(Face& face, libusb_context* context) {
    if (context == nullptr) {
        if (face.defaultContext == nullptr) Violation(face, "the default context used before libusb_init(NULL)");
        return face.defaultContext;
    }
    if (face.contexts.count(context) == 0) Violation(face, "a context used after libusb_exit");
    return context;
}

libusb_device* CheckedDevice(Face& face, libusb_device* device) {
    if (face.devices.count(device) == 0) Violation(face, "a device used after its last reference went");
    CheckedContext(face, device->context);
    return device;
}

libusb_device_handle* CheckedHandle(Face& face, libusb_device_handle* handle) {
    if (face.handles.count(handle) == 0) Violation(face, "a device handle used after libusb_close");
    return handle;
}

// FWSIM_USB_PRODUCT (hex): 6001 an FT232R (the default), 6010 an FT2232C with two ports, 6011 an
// FT4232H with four, 6014 an FT232H at high speed.
std::uint16_t ProductId() {
    const char* text = std::getenv("FWSIM_USB_PRODUCT");
    return text != nullptr ? static_cast<std::uint16_t>(std::strtoul(text, nullptr, 16)) : 0x6001;
}

int PacketSize() { return ProductId() == 0x6014 ? 512 : 64; }

int PortCount() {
    switch (ProductId()) {
        case 0x6010: return 2;
        case 0x6011: return 4;
        default: return 1;
    }
}

unsigned LatencyOf(const sim::Config& config) {
    return std::getenv("FWSIM_LATENCY_MS") != nullptr ? std::max(1u, config.latencyMs) : kDefaultLatencyMs;
}

sim::Chip* ChipOf(Face& face, libusb_device_handle* handle) {
    CheckedHandle(face, handle);
    if (handle->claimed < 0) return nullptr;
    auto it = face.open.find({handle->device->index, handle->claimed});
    return it == face.open.end() ? nullptr : it->second.get();
}

// Port N's endpoints, as FTDI numbers them: 0x81/0x02 for A, 0x83/0x04 for B, and so on.
unsigned char InEndpoint(int port) { return static_cast<unsigned char>(0x81 + 2 * port); }
unsigned char OutEndpoint(int port) { return static_cast<unsigned char>(0x02 + 2 * port); }

void FillConfig(libusb_config_descriptor* config) {
    const int ports = PortCount();
    auto* interfaces = new libusb_interface[ports]{};
    for (int port = 0; port < ports; ++port) {
        auto* endpoints = new libusb_endpoint_descriptor[2]{};
        for (int i = 0; i < 2; ++i) {
            endpoints[i].bLength = LIBUSB_DT_ENDPOINT_SIZE;
            endpoints[i].bDescriptorType = LIBUSB_DT_ENDPOINT;
            endpoints[i].bEndpointAddress = i == 0 ? InEndpoint(port) : OutEndpoint(port);
            endpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
            endpoints[i].wMaxPacketSize = static_cast<std::uint16_t>(PacketSize());
        }
        auto* setting = new libusb_interface_descriptor{};
        setting->bLength = LIBUSB_DT_INTERFACE_SIZE;
        setting->bDescriptorType = LIBUSB_DT_INTERFACE;
        setting->bInterfaceNumber = static_cast<std::uint8_t>(port);
        setting->bNumEndpoints = 2;
        setting->bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
        setting->bInterfaceSubClass = 0xFF;
        setting->bInterfaceProtocol = 0xFF;
        setting->iInterface = 2;
        setting->endpoint = endpoints;
        interfaces[port].altsetting = setting;
        interfaces[port].num_altsetting = 1;
    }
    config->bLength = LIBUSB_DT_CONFIG_SIZE;
    config->bDescriptorType = LIBUSB_DT_CONFIG;
    config->wTotalLength =
        static_cast<std::uint16_t>(LIBUSB_DT_CONFIG_SIZE + ports * (LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE));
    config->bNumInterfaces = static_cast<std::uint8_t>(ports);
    config->bConfigurationValue = 1;
    config->bmAttributes = 0x80;
    config->MaxPower = 45;  // 90 mA
    config->interface = interfaces;
}

void Unreference(Face& face, libusb_device* device) {
    if (--device->references > 0) return;
    face.devices.erase(device);
    delete device;
}

}  // namespace

FWSIM_EXPORT int LIBUSB_CALL libusb_init(libusb_context** context) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if (context == nullptr) {
        if (face.defaultContext != nullptr) {
            ++face.defaultContext->users;
        } else {
            face.defaultContext = new libusb_context;
            face.contexts.insert(face.defaultContext);
        }
        return LIBUSB_SUCCESS;
    }
    *context = new libusb_context;
    face.contexts.insert(*context);
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_exit(libusb_context* context) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    libusb_context* checked = CheckedContext(face, context);
    if (context == nullptr && --checked->users > 0) return;
    if (checked->handles > 0) {
        Violation(face, "libusb_exit with " + std::to_string(checked->handles) + " device handle(s) still open in that context");
    }
    face.contexts.erase(checked);
    if (checked == face.defaultContext) face.defaultContext = nullptr;
    delete checked;
}

FWSIM_EXPORT ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* context, libusb_device*** list) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    libusb_context* owner = CheckedContext(face, context);
    face.Reload();
    const std::size_t count = face.config.devices.size();
    *list = new libusb_device*[count + 1];
    for (std::size_t i = 0; i < count; ++i) {
        (*list)[i] = new libusb_device{owner, i, 1};
        face.devices.insert((*list)[i]);
    }
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
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    ++CheckedDevice(face, device)->references;
    return device;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_unref_device(libusb_device* device) {
    if (device == nullptr) return;
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    Unreference(face, CheckedDevice(face, device));
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
    {
        Face& face = TheFace();
        std::lock_guard<std::mutex> lock(face.mutex);
        CheckedDevice(face, device);
    }
    const std::uint16_t product = ProductId();
    *descriptor = libusb_device_descriptor{};
    descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->bcdUSB = 0x0200;
    descriptor->bMaxPacketSize0 = 8;
    descriptor->idVendor = kFtdiVendor;
    descriptor->idProduct = product;
    // bcdDevice tells libftdi the chip: FT2232C, FT4232H, FT232H or FT232R.
    descriptor->bcdDevice = product == 0x6010 ? 0x0500 : product == 0x6011 ? 0x0800 : product == 0x6014 ? 0x0900 : 0x0600;
    descriptor->iManufacturer = 1;
    descriptor->iProduct = 2;
    descriptor->iSerialNumber = 3;
    descriptor->bNumConfigurations = 1;
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* device, uint8_t index,
                                                          libusb_config_descriptor** config) {
    {
        Face& face = TheFace();
        std::lock_guard<std::mutex> lock(face.mutex);
        CheckedDevice(face, device);
    }
    if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
    *config = new libusb_config_descriptor{};
    FillConfig(*config);
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (config == nullptr) return;
    for (int port = 0; port < config->bNumInterfaces; ++port) {
        delete[] config->interface[port].altsetting->endpoint;
        delete config->interface[port].altsetting;
    }
    delete[] config->interface;
    delete config;
}

// Where each device sits: its FWSIM_LOCATIONS entry, else bus 1, port N + 1.
static std::uint32_t LocationOf(libusb_device* device) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    return sim::UsbLocationId(face.config, CheckedDevice(face, device)->index);
}

FWSIM_EXPORT uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* device) {
    return static_cast<uint8_t>(LocationOf(device) >> 24);
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_port_numbers(libusb_device* device, uint8_t* ports, int length) {
    const std::vector<unsigned> path = d2xx::PortsOf(LocationOf(device));
    if (static_cast<int>(path.size()) > length) return LIBUSB_ERROR_OVERFLOW;
    std::copy(path.begin(), path.end(), ports);
    return static_cast<int>(path.size());
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_device_speed(libusb_device* device) {
    LocationOf(device);  // checks the device
    return ProductId() == 0x6014 ? LIBUSB_SPEED_HIGH : LIBUSB_SPEED_FULL;
}

FWSIM_EXPORT uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* device) {
    return static_cast<uint8_t>(device->index + 2);
}

// A device the user may not open (FWSIM_FAULTS open-error:N) refuses here, as the device node
// does: neither its strings nor its interface can be had.
FWSIM_EXPORT int LIBUSB_CALL libusb_open(libusb_device* device, libusb_device_handle** handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedDevice(face, device);
    if (device->index >= face.config.devices.size()) return LIBUSB_ERROR_NO_DEVICE;
    const std::vector<int>& refused = face.config.openErrors;
    if (std::find(refused.begin(), refused.end(), static_cast<int>(device->index)) != refused.end()) {
        return LIBUSB_ERROR_ACCESS;
    }
    ++device->references;
    ++device->context->handles;
    *handle = new libusb_device_handle{device};
    face.handles.insert(*handle);
    face.trace.Line("USB open " + std::to_string(device->index));
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT libusb_device* LIBUSB_CALL libusb_get_device(libusb_device_handle* handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    return CheckedHandle(face, handle)->device;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int interface) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if (CheckedHandle(face, handle)->claimed != interface) return LIBUSB_ERROR_NOT_FOUND;
    face.open.erase({handle->device->index, interface});
    handle->claimed = -1;
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    if (handle == nullptr) return;
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedHandle(face, handle);
    if (handle->inFlight > 0) Violation(face, "libusb_close with a transfer still in flight");
    if (handle->claimed >= 0) face.open.erase({handle->device->index, handle->claimed});
    face.handles.erase(handle);
    --handle->device->context->handles;
    Unreference(face, handle->device);
    delete handle;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_configuration(libusb_device_handle* handle, int* configuration) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedHandle(face, handle);
    *configuration = 1;
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle, int configuration) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedHandle(face, handle);
    return configuration == 1 || configuration == -1 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interface) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedHandle(face, handle);
    if (interface < 0 || interface >= PortCount()) return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed == interface) return LIBUSB_SUCCESS;
    const std::size_t index = handle->device->index;
    // One claim per port across processes, as the kernel gives an interface to one owner.
    if (face.open.count({index, interface}) != 0) return LIBUSB_ERROR_BUSY;
    auto chip = std::make_unique<sim::Chip>(face.config, index, interface, LatencyOf(face.config), PacketSize());
    if (!chip->Held()) return LIBUSB_ERROR_BUSY;
    if (interface == 0) {
        sim::RememberOpenedPrinter(face.config, index);
        face.claimedAny = true;
    }
    face.open[{index, interface}] = std::move(chip);
    handle->claimed = interface;
    face.trace.Line("USB claim " + std::to_string(index) + (interface > 0 ? "/" + std::to_string(interface) : ""));
    return LIBUSB_SUCCESS;
}

// No kernel driver holds a virtual chip.
FWSIM_EXPORT int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle, int) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedHandle(face, handle);
    return LIBUSB_ERROR_NOT_FOUND;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    CheckedHandle(face, handle);
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                                unsigned char* data, int length) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::size_t device = CheckedHandle(face, handle)->device->index;
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
                                                     uint8_t request, uint16_t value, uint16_t index,
                                                     unsigned char* data, uint16_t length, unsigned int) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    sim::Chip* chip = ChipOf(face, handle);
    if (chip == nullptr) return LIBUSB_ERROR_NO_DEVICE;
    // wIndex names the port (1 for A); the baud rate request carries divisor bits there instead.
    constexpr std::uint8_t kBaudRate = 0x03;
    if (request != kBaudRate && (index & 0xFF) != handle->claimed + 1) return LIBUSB_ERROR_PIPE;
    return chip->Control(face, requestType, request, value, data, length);
}

namespace {

int BulkTransfer(Face& face, std::unique_lock<std::mutex>& lock, libusb_device_handle* handle,
                 unsigned char endpoint, unsigned char* data, int length, int* transferred, unsigned timeout,
                 const bool* cancelled) {
    *transferred = 0;
    sim::Chip* chip = ChipOf(face, handle);
    if (chip == nullptr) return LIBUSB_ERROR_NO_DEVICE;
    if (endpoint == OutEndpoint(handle->claimed)) {
        return chip->BulkOut(face, lock, data, length, transferred, timeout, cancelled);
    }
    if (endpoint == InEndpoint(handle->claimed)) {
        return chip->BulkIn(face, lock, data, length, transferred, timeout, cancelled);
    }
    return LIBUSB_ERROR_PIPE;
}

}  // namespace

FWSIM_EXPORT int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                                  unsigned char* data, int length, int* transferred,
                                                  unsigned int timeout) {
    Face& face = TheFace();
    std::unique_lock<std::mutex> lock(face.mutex);
    int moved = 0;
    return BulkTransfer(face, lock, handle, endpoint, data, length, transferred != nullptr ? transferred : &moved,
                        timeout, nullptr);
}

FWSIM_EXPORT libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int isoPackets) {
    if (isoPackets != 0) return nullptr;
    return new libusb_transfer{};
}

FWSIM_EXPORT void LIBUSB_CALL libusb_free_transfer(libusb_transfer* transfer) {
    if (transfer == nullptr) return;
    Face& face = TheFace();
    {
        std::lock_guard<std::mutex> lock(face.mutex);
        for (libusb_context* context : face.contexts) {
            for (const InFlight& flight : context->transfers) {
                if (flight.transfer == transfer) Violation(face, "libusb_free_transfer on a transfer in flight");
            }
        }
    }
    if ((transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER) != 0) std::free(transfer->buffer);
    delete transfer;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_submit_transfer(libusb_transfer* transfer) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    libusb_device_handle* handle = CheckedHandle(face, transfer->dev_handle);
    ++handle->inFlight;
    handle->device->context->transfers.push_back({transfer});
    face.changed.notify_all();
    return LIBUSB_SUCCESS;
}

FWSIM_EXPORT int LIBUSB_CALL libusb_cancel_transfer(libusb_transfer* transfer) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    libusb_context* context = CheckedHandle(face, transfer->dev_handle)->device->context;
    for (InFlight& flight : context->transfers) {
        if (flight.transfer == transfer && !flight.cancelled) {
            flight.cancelled = true;
            face.changed.notify_all();
            return LIBUSB_SUCCESS;
        }
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

// Completes the context's submitted transfers, each as its synchronous twin would, and calls back;
// returns once *completed is set (without it, once a transfer has completed, as libusb returns after
// one round of events), or when nothing is left to do within the timeout.
FWSIM_EXPORT int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* context, struct timeval* timeout,
                                                                    int* completed) {
    Face& face = TheFace();
    std::unique_lock<std::mutex> lock(face.mutex);
    libusb_context* owner = CheckedContext(face, context);
    const auto until = std::chrono::steady_clock::now() +
                       (timeout != nullptr ? std::chrono::seconds(timeout->tv_sec) + std::chrono::microseconds(timeout->tv_usec)
                                           : std::chrono::microseconds(60'000'000));
    for (;;) {
        if (completed != nullptr && *completed != 0) return LIBUSB_SUCCESS;
        auto next = std::find_if(owner->transfers.begin(), owner->transfers.end(),
                                 [](const InFlight& flight) { return !flight.running; });
        if (next == owner->transfers.end()) {
            if (face.changed.wait_until(lock, until) == std::cv_status::timeout) return LIBUSB_SUCCESS;
            continue;
        }
        next->running = true;
        libusb_transfer* transfer = next->transfer;
        int result = LIBUSB_ERROR_INTERRUPTED;
        if (!next->cancelled) {
            if (transfer->type == LIBUSB_TRANSFER_TYPE_CONTROL) {
                const unsigned char* setup = transfer->buffer;
                lock.unlock();
                result = libusb_control_transfer(transfer->dev_handle, setup[0], setup[1],
                                                 static_cast<uint16_t>(setup[2] | setup[3] << 8),
                                                 static_cast<uint16_t>(setup[4] | setup[5] << 8),
                                                 transfer->buffer + LIBUSB_CONTROL_SETUP_SIZE,
                                                 static_cast<uint16_t>(setup[6] | setup[7] << 8), transfer->timeout);
                lock.lock();
                transfer->actual_length = std::max(result, 0);
            } else {
                result = BulkTransfer(face, lock, transfer->dev_handle, transfer->endpoint, transfer->buffer,
                                      transfer->length, &transfer->actual_length, transfer->timeout, &next->cancelled);
            }
        }
        transfer->status = result >= 0                           ? LIBUSB_TRANSFER_COMPLETED
                           : result == LIBUSB_ERROR_INTERRUPTED  ? LIBUSB_TRANSFER_CANCELLED
                           : result == LIBUSB_ERROR_TIMEOUT      ? LIBUSB_TRANSFER_TIMED_OUT
                           : result == LIBUSB_ERROR_PIPE         ? LIBUSB_TRANSFER_STALL
                                                                 : LIBUSB_TRANSFER_NO_DEVICE;
        owner->transfers.erase(std::find_if(owner->transfers.begin(), owner->transfers.end(),
                                            [&](const InFlight& flight) { return flight.transfer == transfer; }));
        --transfer->dev_handle->inFlight;
        lock.unlock();
        if (transfer->callback != nullptr) transfer->callback(transfer);
        if (completed == nullptr) return LIBUSB_SUCCESS;
        lock.lock();
    }
}

FWSIM_EXPORT int LIBUSB_CALL libusb_handle_events_timeout(libusb_context* context, struct timeval* timeout) {
    return libusb_handle_events_timeout_completed(context, timeout, nullptr);
}

FWSIM_EXPORT int LIBUSB_CALL libusb_handle_events_completed(libusb_context* context, int* completed) {
    timeval forever{60, 0};
    return libusb_handle_events_timeout_completed(context, &forever, completed);
}

// For tests: the last value of a control request on port A of device N, or -1.
FWSIM_EXPORT int FwSim_UsbSetting(int device, const char* name) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    auto chip = face.open.find({static_cast<std::size_t>(device), 0});
    return chip == face.open.end() ? -1 : chip->second->Setting(name);
}

// For tests: how many ports this process has claimed now.
FWSIM_EXPORT int FwSim_UsbOpenCount() {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    return static_cast<int>(face.open.size());
}
