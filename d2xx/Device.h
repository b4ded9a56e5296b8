// One open FTDI port. A reader thread keeps the chip's bytes flowing into the library's own receive
// buffer, as FTDI's driver does, so FT_GetQueueStatus answers at once and FT_Read waits for its
// count or its timeout. The reader holds no lock while its transfer is out: control requests reach
// the chip at once, and those that empty the receive side cancel the reader's transfer first, so no
// byte read before them survives.
#pragma once

#include <ftdi.h>
#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "D2XXTypes.h"

namespace d2xx {

class Device {
public:
    // Takes an open libftdi context: the device's handle lives in that context's libusb context.
    explicit Device(ftdi_context* context);
    // Stops the reader, closes the port (the kernel's driver is attached again) and frees the context.
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // FT_Read: blocks until count bytes are buffered or the read timeout (0: none) has passed.
    FT_STATUS Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* received);
    // FT_Write: blocks until the bytes are out or the write timeout passes (FT_OK, fewer written);
    // without a write timeout, closing the handle cancels it (FT_INVALID_HANDLE).
    FT_STATUS Write(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* written);
    FT_STATUS QueueStatus(std::uint32_t* bytes);
    FT_STATUS SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
    // Runs a libftdi control call (a negative result is a failure). With dropReceived, every byte
    // read from the chip before the call returns is discarded.
    FT_STATUS Control(const std::function<int(ftdi_context*)>& call, bool dropReceived = false);
    // The handle is closing: waiting calls (a write in flight too) return at once and later ones fail.
    void BeginClose();

private:
    void ReadFromChip();
    void KeepPacketData(const unsigned char* data, int length);
    // A failed read of the chip: a vanished device is lost for good; anything else (a stall, a
    // failed transfer) fails reads until a transfer succeeds again, tried after a pause.
    void ReadFailed(bool deviceGone, std::unique_lock<std::mutex>& lock);
    // Gives the status of a failed transfer: a vanished device is lost for good, anything else
    // fails only the call it happened in.
    FT_STATUS TransferFailed(int libusbError);
    FT_STATUS Refused() const { return closing_ ? FT_INVALID_HANDLE : FT_IO_ERROR; }
    bool Usable() const { return !closing_ && !lost_; }

    ftdi_context* context_;
    libusb_transfer* transfer_;
    libusb_transfer* writing_ = nullptr;  // the write in flight, for the close to cancel
    std::atomic<int> transferDone_{0};  // set by the transfer's callback, on whichever thread handles it
    std::mutex controlMutex_;  // libftdi's context: one control call at a time
    std::mutex mutex_;         // everything below
    std::condition_variable arrived_;      // bytes arrived, or the device failed or is closing
    std::condition_variable readerIdle_;   // the reader's transfer came back
    std::condition_variable readerWake_;   // the reader may go on (unpaused, room, or stop)
    std::deque<std::uint8_t> received_;
    std::uint32_t readTimeoutMs_ = 0;
    std::uint32_t writeTimeoutMs_ = 0;
    bool lost_ = false;
    bool closing_ = false;
    bool readFailed_ = false;  // the reader's last transfer failed: reads and queries fail until one succeeds
    bool paused_ = false;
    bool inFlight_ = false;
    bool stop_ = false;
    std::thread reader_;
};

}  // namespace d2xx
