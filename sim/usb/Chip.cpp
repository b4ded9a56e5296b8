// One port of a virtual FTDI chip; see Chip.h.
#include "Chip.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <chrono>
#include <iterator>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOutPacketSize = 64;  // what the printer takes at a time
constexpr unsigned char kModemStatus = 0x01;  // low nibble 1, no modem lines
constexpr unsigned char kLineStatus = 0x60;   // transmitter empty

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

// wValue of the reset request, as libftdi 1.5 sends them: 2 clears what the chip holds for the host.
enum : std::uint16_t { kResetChip = 0, kPurgeToChip = 1, kPurgeToHost = 2 };

const Clock::time_point kStart = Clock::now();

}  // namespace

std::int64_t UsbBus::NowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - kStart).count();
}

PrinterPort::PrinterPort(const Config& config, std::size_t device)
    : printerConfig(BehindChip(config)), loader(printerConfig), claim(PrinterFolder(config, device)) {}

Chip::Chip(const Config& config, std::size_t device, int port, unsigned latencyMs, int packetSize)
    : device_(device), printer_(port == 0 ? std::make_unique<PrinterPort>(config, device) : nullptr),
      latencyMs_(latencyMs), packetSize_(packetSize) {}

// A printer that has vanished gives every transfer NO_DEVICE; one that stalled, PIPE.
int Chip::LostError() const { return printer_->loader.Stalled() ? LIBUSB_ERROR_PIPE : LIBUSB_ERROR_NO_DEVICE; }

int Chip::BulkOut(UsbBus& bus, std::unique_lock<std::mutex>& lock, const unsigned char* data, int length,
                  int* transferred, unsigned timeoutMs, const bool* cancelled) {
    if (Lost()) return LostError();
    if (bus.config.holdOut) {
        // Flow control held: nothing goes out until the transfer times out or is taken back.
        *transferred = 0;
        const std::int64_t deadline = bus.NowUs() + (timeoutMs == 0 ? INT64_MAX / 2 : std::int64_t{timeoutMs} * 1000);
        for (;;) {
            if (cancelled != nullptr && *cancelled) return LIBUSB_ERROR_INTERRUPTED;
            if (Lost()) return LostError();
            const std::int64_t now = bus.NowUs();
            if (now >= deadline) return LIBUSB_ERROR_TIMEOUT;
            bus.changed.wait_until(lock, kStart + std::chrono::microseconds(std::min(deadline, now + 100000)));
        }
    }
    *transferred = length;
    if (printer_ == nullptr) return 0;  // nothing attached: the bytes go nowhere
    int accepted = length;
    // A short write: the chip takes part of the frame, then the transfer times out.
    if (const std::optional<int> frame = printer_->loader.ExpectedDataFrame()) {
        const ShortWriteRule* rule = FindShortWrite(bus.config, *frame);
        if (rule != nullptr && length > 0 && printer_->shortWritesDone[*frame] < rule->writes) {
            ++printer_->shortWritesDone[*frame];
            accepted = static_cast<int>(std::min<std::uint32_t>(rule->bytes, static_cast<std::uint32_t>(length - 1)));
        }
    }
    const std::int64_t now = bus.NowUs();
    for (int sent = 0; sent < accepted && !Lost(); sent += kOutPacketSize) {
        const int packet = std::min(kOutPacketSize, accepted - sent);
        for (LoaderReply& reply : printer_->loader.Receive(data + sent, static_cast<std::size_t>(packet))) {
            received_.Push(now + static_cast<std::int64_t>(reply.delayMs) * 1000, std::move(reply.bytes));
        }
    }
    if (std::optional<CompletedImage> image = printer_->loader.TakeCompletedImage()) {
        RecordCompletedDownload(bus.config, device_, *image);
    }
    *transferred = accepted;
    bus.trace.Line("USB OUT " + std::to_string(length) + " -> " + std::to_string(accepted), data,
                   static_cast<std::size_t>(accepted));
    bus.changed.notify_all();
    if (Lost()) return LostError();
    return accepted < length ? LIBUSB_ERROR_TIMEOUT : 0;
}

// Full packets as soon as a packet's worth waits (62 bytes at full speed, 510 at high speed),
// otherwise one short packet (possibly the two status bytes alone) when the latency timer runs out.
int Chip::BulkIn(UsbBus& bus, std::unique_lock<std::mutex>& lock, unsigned char* data, int length, int* transferred,
                 unsigned timeoutMs, const bool* cancelled) {
    const int packetData = packetSize_ - 2;
    const std::int64_t deadline = bus.NowUs() + (timeoutMs == 0 ? INT64_MAX / 2 : std::int64_t{timeoutMs} * 1000);
    for (;;) {
        if (cancelled != nullptr && *cancelled) return LIBUSB_ERROR_INTERRUPTED;
        if (Lost()) return LostError();
        const std::int64_t now = bus.NowUs();
        const std::size_t waiting = received_.Readable(now);
        const std::int64_t flushAt = lastInUs_ + std::int64_t{latencyMs_} * 1000;
        if (waiting >= static_cast<std::size_t>(packetData) || now >= flushAt) {
            int written = 0;
            while (written + 2 <= length) {
                const std::size_t room = static_cast<std::size_t>(std::min(packetData, length - written - 2));
                const std::size_t ready = received_.Readable(now);
                // A partial packet goes out only when the timer has run out.
                if (ready < room && now < flushAt && written > 0) break;
                data[written] = kModemStatus;
                data[written + 1] = kLineStatus;
                const std::size_t taken = received_.Take(now, data + written + 2, room);
                written += 2 + static_cast<int>(taken);
                if (taken < static_cast<std::size_t>(packetData)) break;  // a short packet ends the transfer
            }
            lastInUs_ = now;
            *transferred = written;
            if (written > 2) bus.trace.Line("USB IN " + std::to_string(written), data, static_cast<std::size_t>(written));
            return 0;
        }
        if (now >= deadline) {
            *transferred = 0;
            return LIBUSB_ERROR_TIMEOUT;
        }
        std::int64_t wake = std::min(flushAt, deadline);
        if (const std::optional<std::int64_t> next = received_.NextReadableAt(now)) wake = std::min(wake, *next);
        bus.changed.wait_until(lock, kStart + std::chrono::microseconds(std::max(wake, now + 100)));
    }
}

int Chip::Control(UsbBus& bus, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                  unsigned char* data, std::uint16_t length) {
    static const char* const kNames[] = {"reset", "modem-control", "flow-control", "baud-rate", "data",
                                         "modem-status", "event-char", "error-char", "8", "latency",
                                         "get-latency", "bit-mode"};
    if (Lost()) return LostError();
    const std::string name = request < std::size(kNames) ? kNames[request] : std::to_string(request);
    bus.trace.Line("USB control " + name + " " + std::to_string(value));
    const bool in = (requestType & LIBUSB_ENDPOINT_IN) != 0;
    switch (request) {
        case kReset:
            if (value == kResetChip || value == kPurgeToHost) received_.Clear();
            if (value > kPurgeToHost) return LIBUSB_ERROR_PIPE;
            break;
        case kPollModemStatus:
            if (!in || length < 2) return LIBUSB_ERROR_PIPE;
            data[0] = kModemStatus;
            data[1] = kLineStatus;
            return 2;
        case kSetLatency:
            if (value < 1 || value > 255) return LIBUSB_ERROR_PIPE;
            latencyMs_ = value;
            break;
        case kGetLatency:
            if (!in || length < 1) return LIBUSB_ERROR_PIPE;
            data[0] = static_cast<unsigned char>(latencyMs_);
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
    settings_[name] = value;
    return 0;
}

int Chip::Setting(const std::string& name) const {
    auto setting = settings_.find(name);
    return setting == settings_.end() ? -1 : setting->second;
}

}  // namespace sim
