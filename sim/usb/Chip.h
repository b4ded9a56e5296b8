// One port of a virtual FTDI chip as the host sees it over USB: vendor control requests, bulk OUT
// in 64-byte packets and bulk IN as the chip answers it, every packet led by two modem-status bytes
// and a short packet sent only when the latency timer runs out. The first port has the printer
// behind it; further ports of a multi-port chip have nothing attached.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <string>

#include "Loader.h"
#include "PrinterStore.h"
#include "ReceiveQueue.h"
#include "SimConfig.h"
#include "Trace.h"

namespace sim {

// Clock and trace shared by every chip of a process.
struct UsbBus {
    std::mutex mutex;
    std::condition_variable changed;  // a transfer was cancelled, or bytes were queued
    Config config = LoadConfigFromEnvironment();
    Trace trace;
    std::int64_t NowUs() const;
};

// The printer behind the first port.
struct PrinterPort {
    PrinterPort(const Config& config, std::size_t device);
    Config printerConfig;
    Loader loader;
    DeviceClaim claim;
    std::map<int, int> shortWritesDone;  // per data frame
};

class Chip {
public:
    // Builds the chip's port; for port 0 the printer behind it (which may be held elsewhere:
    // Held() then says no).
    Chip(const Config& config, std::size_t device, int port, unsigned latencyMs, int packetSize);
    bool Held() const { return printer_ == nullptr || printer_->claim.Held(); }

    // Bulk OUT: the host's bytes into the printer. A libusb result code. With the hold-out fault the
    // chip takes nothing and it blocks (releasing the lock) as BulkIn does.
    int BulkOut(UsbBus& bus, std::unique_lock<std::mutex>& lock, const unsigned char* data, int length,
                int* transferred, unsigned timeoutMs, const bool* cancelled);
    // Bulk IN: blocks (releasing the lock) until the chip answers, the timeout (0: none) passes or
    // *cancelled becomes true (LIBUSB_ERROR_INTERRUPTED).
    int BulkIn(UsbBus& bus, std::unique_lock<std::mutex>& lock, unsigned char* data, int length, int* transferred,
               unsigned timeoutMs, const bool* cancelled);
    // A vendor control request; returns the bytes moved or a libusb error code.
    int Control(UsbBus& bus, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                unsigned char* data, std::uint16_t length);
    // The last value of a control request, or -1.
    int Setting(const std::string& name) const;

private:
    bool Lost() const { return printer_ != nullptr && printer_->loader.Vanished(); }
    int LostError() const;

    std::size_t device_;
    std::unique_ptr<PrinterPort> printer_;
    ReceiveQueue received_;
    std::map<std::string, int> settings_;
    unsigned latencyMs_;
    int packetSize_;  // 64 at full speed, 512 at high speed
    std::int64_t lastInUs_ = 0;  // when the chip last sent a packet
};

}  // namespace sim
