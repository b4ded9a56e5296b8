// One open FTDI port; see Device.h.
#include "Device.h"

#include "Packets.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace d2xx {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReaderChunk = 4096;
constexpr unsigned kReaderTimeoutMs = 250;  // how long one read of the reader may stay out
constexpr std::size_t kBufferLimit = 1 << 20;  // the reader stops asking while this much waits
constexpr auto kRetryAfterError = std::chrono::milliseconds(20);
constexpr std::uint8_t kPollModemStatus = 0x05;

// A transfer's callback runs on whichever thread handles libusb's events: the reader's or a
// writer's. The flag it sets is atomic for that.
void LIBUSB_CALL TransferDone(libusb_transfer* transfer) { static_cast<std::atomic<int>*>(transfer->user_data)->store(1); }

// Handles libusb's events until the transfer behind the flag has completed.
void AwaitTransfer(libusb_context* context, const std::atomic<int>& done) {
    timeval tick{0, 100000};
    while (done.load() == 0) libusb_handle_events_timeout_completed(context, &tick, nullptr);
}

}  // namespace

Device::Device(ftdi_context* context)
    : context_(context), transfer_(libusb_alloc_transfer(0)), reader_([this] { ReadFromChip(); }) {}

Device::~Device() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        if (inFlight_) libusb_cancel_transfer(transfer_);
        readerWake_.notify_all();
    }
    reader_.join();
    libusb_free_transfer(transfer_);
    ftdi_usb_close(context_);
    ftdi_free(context_);
}

void Device::BeginClose() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    if (writing_ != nullptr) libusb_cancel_transfer(writing_);
    arrived_.notify_all();
}

FT_STATUS Device::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* received) {
    std::unique_lock<std::mutex> lock(mutex_);
    *received = 0;
    const auto ready = [&] { return received_.size() >= count || !Usable() || readFailed_; };
    if (readTimeoutMs_ == 0) {
        arrived_.wait(lock, ready);  // no timeout: wait for the count, as the chip's driver does
    } else {
        arrived_.wait_until(lock, Clock::now() + std::chrono::milliseconds(readTimeoutMs_), ready);
    }
    if (closing_) return FT_INVALID_HANDLE;
    const std::size_t taken = std::min<std::size_t>(count, received_.size());
    std::copy_n(received_.begin(), taken, buffer);
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(taken));
    *received = static_cast<std::uint32_t>(taken);
    readerWake_.notify_all();
    if (taken == count) return FT_OK;
    return lost_ || readFailed_ ? FT_IO_ERROR : FT_OK;
}

FT_STATUS Device::Write(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* written) {
    *written = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!Usable()) return Refused();
    const unsigned timeout = writeTimeoutMs_;
    if (timeout != 0) {
        // A write timeout bounds the wait, FT_Close's too.
        lock.unlock();
        int moved = 0;
        const int result = libusb_bulk_transfer(context_->usb_dev, static_cast<unsigned char>(context_->in_ep), buffer,
                                                static_cast<int>(count), &moved, timeout);
        *written = static_cast<std::uint32_t>(std::max(moved, 0));
        // A timeout is FT_OK with what went out.
        return result == 0 || result == LIBUSB_ERROR_TIMEOUT ? FT_OK : TransferFailed(result);
    }
    // Without one, a transfer of our own that closing the handle can take back: a chip that takes
    // nothing would otherwise hold FT_Close forever.
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr) return FT_INSUFFICIENT_RESOURCES;
    std::atomic<int> done{0};
    libusb_fill_bulk_transfer(transfer, context_->usb_dev, static_cast<unsigned char>(context_->in_ep), buffer,
                              static_cast<int>(count), TransferDone, &done, 0);
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted != 0) {
        libusb_free_transfer(transfer);
        lock.unlock();
        return TransferFailed(submitted);
    }
    writing_ = transfer;
    lock.unlock();
    AwaitTransfer(context_->usb_ctx, done);
    lock.lock();
    writing_ = nullptr;
    const libusb_transfer_status status = transfer->status;
    *written = static_cast<std::uint32_t>(std::max(transfer->actual_length, 0));
    libusb_free_transfer(transfer);
    lock.unlock();
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED: return FT_OK;
        case LIBUSB_TRANSFER_CANCELLED: return FT_INVALID_HANDLE;  // the handle closed under it
        case LIBUSB_TRANSFER_NO_DEVICE: return TransferFailed(LIBUSB_ERROR_NO_DEVICE);
        default: return TransferFailed(LIBUSB_ERROR_IO);
    }
}

FT_STATUS Device::QueueStatus(std::uint32_t* bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Usable()) return Refused();
    if (readFailed_) return FT_IO_ERROR;
    *bytes = static_cast<std::uint32_t>(received_.size());
    return FT_OK;
}

FT_STATUS Device::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Usable()) return Refused();
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return FT_OK;
}

FT_STATUS Device::Control(const std::function<int(ftdi_context*)>& call, bool dropReceived) {
    std::lock_guard<std::mutex> control(controlMutex_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!Usable()) return Refused();
        if (dropReceived) {
            // Take back the reader's transfer, so that nothing the chip held before the call
            // arrives after it.
            paused_ = true;
            if (inFlight_) libusb_cancel_transfer(transfer_);
            readerIdle_.wait(lock, [&] { return !inFlight_; });
        }
    }
    const int result = call(context_);
    if (dropReceived) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.clear();
        readFailed_ = false;
        paused_ = false;
        readerWake_.notify_all();
    }
    if (result >= 0) return FT_OK;
    // libftdi keeps libusb's reason to itself: ask the chip whether it is still there.
    unsigned char status[2] = {};
    return TransferFailed(libusb_control_transfer(context_->usb_dev, LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_ENDPOINT_IN,
                                                  kPollModemStatus, 0, static_cast<std::uint16_t>(context_->index),
                                                  status, sizeof status, 1000));
}

FT_STATUS Device::TransferFailed(int libusbError) {
    if (libusbError == LIBUSB_ERROR_NO_DEVICE) {
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
        arrived_.notify_all();
    }
    return FT_IO_ERROR;
}

void Device::KeepPacketData(const unsigned char* data, int length) {
    const std::size_t before = received_.size();
    AppendPacketData(data, static_cast<std::size_t>(std::max(length, 0)),
                     static_cast<std::size_t>(context_->max_packet_size), received_);
    if (received_.size() > before) arrived_.notify_all();
}

void Device::ReadFailed(bool deviceGone, std::unique_lock<std::mutex>& lock) {
    lost_ = lost_ || deviceGone;
    readFailed_ = !deviceGone;
    arrived_.notify_all();
    if (!deviceGone) readerWake_.wait_for(lock, kRetryAfterError, [&] { return stop_; });
}

// The driver's side: keeps reading the chip into the receive buffer until the handle closes or the
// device is gone. The chip paces it: an empty read returns after its latency timer. The bulk reads
// are made here rather than by ftdi_read_data, which holds back what a packet brought until an
// empty packet follows, one latency period later.
void Device::ReadFromChip() {
    std::vector<unsigned char> chunk(kReaderChunk);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        readerWake_.wait(lock, [&] { return stop_ || (!paused_ && received_.size() < kBufferLimit); });
        if (stop_ || lost_) break;
        transferDone_.store(0);
        libusb_fill_bulk_transfer(transfer_, context_->usb_dev, static_cast<unsigned char>(context_->out_ep),
                                  chunk.data(), static_cast<int>(chunk.size()), TransferDone, &transferDone_,
                                  kReaderTimeoutMs);
        const int submitted = libusb_submit_transfer(transfer_);
        if (submitted != 0) {
            ReadFailed(submitted == LIBUSB_ERROR_NO_DEVICE, lock);
            continue;
        }
        inFlight_ = true;
        lock.unlock();
        AwaitTransfer(context_->usb_ctx, transferDone_);
        lock.lock();
        inFlight_ = false;
        readerIdle_.notify_all();
        switch (transfer_->status) {
            case LIBUSB_TRANSFER_COMPLETED:
            case LIBUSB_TRANSFER_TIMED_OUT:
                readFailed_ = false;
                KeepPacketData(chunk.data(), transfer_->actual_length);
                break;
            case LIBUSB_TRANSFER_CANCELLED:
                break;  // a purge or the close took it back: what it held is stale
            default:
                ReadFailed(transfer_->status == LIBUSB_TRANSFER_NO_DEVICE, lock);
                break;
        }
    }
    inFlight_ = false;
    readerIdle_.notify_all();
}

}  // namespace d2xx
