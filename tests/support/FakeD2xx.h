// An in-process D2XX device on a virtual clock, installed straight into the binding's slot table.
// Behind it runs the virtual printer's own loader, so replies are the printer's; in front of it
// every call and byte is recorded, and failure switches work by count.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "D2XX_Dyn.h"
#include "Loader.h"
#include "ReceiveQueue.h"
#include "SimConfig.h"
#include "VirtualClock.h"

class FakeD2xx {
public:
    struct Write {
        std::int64_t atUs = 0;
        std::uint32_t asked = 0;
        std::vector<std::uint8_t> bytes;  // what the device accepted
    };

    // Fills every slot of the table and resets the link state; the destructor empties them again.
    explicit FakeD2xx(VirtualClock& clock);
    ~FakeD2xx();
    FakeD2xx(const FakeD2xx&) = delete;
    FakeD2xx& operator=(const FakeD2xx&) = delete;

    // Devices as the library lists them.
    std::vector<std::string> descriptions{"CARD PRINTER"};
    // The printer behind the link: timings and reply faults (short-write rules included).
    sim::Config printer;

    // Failure switches.
    FT_STATUS countStatus = FT_OK;
    std::set<int> failDescription;       // indices whose description read fails
    std::set<int> failOpen;              // indices that do not open
    FT_STATUS purgeStatus = FT_OK;
    std::deque<std::uint32_t> nextWriteLimits;  // each write takes at most the next limit
    int queueStatusFailsFrom = -1;       // 1-based call from which FT_GetQueueStatus fails

    // What happened.
    std::vector<std::string> calls;  // e.g. "FT_Open(1)", "FT_Purge(2)", "FT_SetTimeouts(10,2000)"
    std::vector<Write> writes;
    int openHandles = 0;
    int queueStatusCalls = 0;
    int reads = 0;

    // Every byte the host wrote, in order.
    std::vector<std::uint8_t> AllWrittenBytes() const;
    // The image of the download that completed, if one did.
    const std::vector<std::uint8_t>& CompletedPayload() const { return completedPayload_; }
    int CompletedDownloads() const { return completedDownloads_; }

    static FakeD2xx* current;

    // Entry points, reached through the slot table.
    FT_STATUS Open(int index, FT_HANDLE* handle);
    FT_STATUS Close(FT_HANDLE handle);
    FT_STATUS Read(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* received);
    FT_STATUS WriteBytes(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* written);
    FT_STATUS Reset(FT_HANDLE handle);
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask);
    FT_STATUS SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs);
    FT_STATUS QueueStatus(FT_HANDLE handle, std::uint32_t* bytes);
    FT_STATUS Count(std::uint32_t* count);
    FT_STATUS Description(std::uint32_t index, char* buffer);
    FT_STATUS WrongListCall(std::uint32_t flags);

private:
    bool Valid(FT_HANDLE handle) const { return handle != nullptr && handle == openHandle_ && openHandles > 0; }

    VirtualClock& clock_;
    FT_HANDLE openHandle_ = nullptr;
    std::uint32_t readTimeoutMs_ = 0;
    sim::ReceiveQueue received_;
    sim::Loader loader_{printer};
    std::vector<int> shortWritesDone_ = std::vector<int>(65536, 0);
    std::vector<std::uint8_t> completedPayload_;
    int completedDownloads_ = 0;
    int handleCounter_ = 0;
};
