// The in-process D2XX device: trampolines from the slot table into the current fake.
#include "FakeD2xx.h"

#include <algorithm>
#include <cstring>

FakeD2xx* FakeD2xx::current = nullptr;

namespace {

// A handle value above 32 that points at nothing, as opaque as the real library's.
FT_HANDLE HandleFor(int counter) { return reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(0x1000 + 16 * counter)); }

FT_STATUS FT_API Unused() { return FT_OK; }

}  // namespace

FakeD2xx::FakeD2xx(VirtualClock& clock) : clock_(clock) {
    current = this;
    printer.latencyMs = 1;
    printer.writeMs = 20;
    D2XXSlots = D2XXEntryPoints{};
    D2XXSlots.FT_Open = [](int index, FT_HANDLE* handle) { return current->Open(index, handle); };
    D2XXSlots.FT_Close = [](FT_HANDLE handle) { return current->Close(handle); };
    D2XXSlots.FT_Read = [](FT_HANDLE h, void* b, std::uint32_t n, std::uint32_t* r) { return current->Read(h, b, n, r); };
    D2XXSlots.FT_Write = [](FT_HANDLE h, void* b, std::uint32_t n, std::uint32_t* w) {
        return current->WriteBytes(h, b, n, w);
    };
    D2XXSlots.FT_ResetDevice = [](FT_HANDLE h) { return current->Reset(h); };
    D2XXSlots.FT_Purge = [](FT_HANDLE h, std::uint32_t mask) { return current->Purge(h, mask); };
    D2XXSlots.FT_SetTimeouts = [](FT_HANDLE h, std::uint32_t r, std::uint32_t w) { return current->SetTimeouts(h, r, w); };
    D2XXSlots.FT_GetQueueStatus = [](FT_HANDLE h, std::uint32_t* n) { return current->QueueStatus(h, n); };
    // FT_ListDevices answers only the two forms the binding must use, as the real library would
    // misread any other combination of flags and arguments. The flags are FTDI's published values,
    // written out here so that a wrong constant in the binding cannot pass unseen.
    D2XXSlots.FT_ListDevicesCount = [](std::uint32_t* count, void* unused, std::uint32_t flags) {
        if (flags != 0x80000000u || unused != nullptr) return current->WrongListCall(flags);
        return current->Count(count);
    };
    D2XXSlots.FT_ListDevicesByIndex = [](void* index, char* buffer, std::uint32_t flags) {
        if (flags != 0x40000002u) return current->WrongListCall(flags);
        return current->Description(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(index)), buffer);
    };
    void* const unused = reinterpret_cast<void*>(&Unused);
    for (FT_UnusedProc* slot : {&D2XXSlots.FT_SetBaudRate, &D2XXSlots.FT_SetDataCharacteristics,
                                &D2XXSlots.FT_SetFlowControl, &D2XXSlots.FT_SetDtr, &D2XXSlots.FT_ClrDtr,
                                &D2XXSlots.FT_SetRts, &D2XXSlots.FT_ClrRts, &D2XXSlots.FT_GetModemStatus,
                                &D2XXSlots.FT_SetChars,
                                &D2XXSlots.FT_EE_Read, &D2XXSlots.FT_EE_ReadEx, &D2XXSlots.FT_EraseEE,
                                &D2XXSlots.FT_EE_Program}) {
        *slot = unused;
    }
    FTHandle = nullptr;
    FTDeviceIndex = 0;
    FTDeviceCount = 0;
    FTDeviceDescription.clear();
    FTRxQueueBytes = 0;
}

FakeD2xx::~FakeD2xx() {
    D2XXSlots = D2XXEntryPoints{};
    FTHandle = nullptr;
    current = nullptr;
}

std::vector<std::uint8_t> FakeD2xx::AllWrittenBytes() const {
    std::vector<std::uint8_t> all;
    for (const Write& write : writes) all.insert(all.end(), write.bytes.begin(), write.bytes.end());
    return all;
}

FT_STATUS FakeD2xx::Count(std::uint32_t* count) {
    calls.push_back("FT_ListDevices(count)");
    if (countStatus != FT_OK) return countStatus;
    *count = static_cast<std::uint32_t>(descriptions.size());
    return FT_OK;
}

FT_STATUS FakeD2xx::WrongListCall(std::uint32_t flags) {
    calls.push_back("FT_ListDevices(flags " + std::to_string(flags) + ")");
    return FT_INVALID_PARAMETER;
}

FT_STATUS FakeD2xx::Description(std::uint32_t index, char* buffer) {
    calls.push_back("FT_ListDevices(" + std::to_string(index) + ")");
    if (index >= descriptions.size()) return FT_DEVICE_NOT_FOUND;
    if (failDescription.count(static_cast<int>(index)) != 0) return FT_IO_ERROR;
    const std::string& text = descriptions[index];
    // Like the real library: 64 bytes at most, and no NUL when the text fills them.
    std::memcpy(buffer, text.c_str(), std::min<std::size_t>(text.size() + 1, FT_DESCRIPTION_BUFFER_SIZE));
    return FT_OK;
}

FT_STATUS FakeD2xx::Open(int index, FT_HANDLE* handle) {
    calls.push_back("FT_Open(" + std::to_string(index) + ")");
    if (index < 0 || static_cast<std::size_t>(index) >= descriptions.size()) return FT_DEVICE_NOT_FOUND;
    if (failOpen.count(index) != 0 || openHandles > 0) return FT_DEVICE_NOT_OPENED;
    openHandle_ = HandleFor(++handleCounter_);
    *handle = openHandle_;
    ++openHandles;
    loader_ = sim::Loader(printer);
    received_.Clear();
    std::fill(shortWritesDone_.begin(), shortWritesDone_.end(), 0);
    return FT_OK;
}

FT_STATUS FakeD2xx::Close(FT_HANDLE handle) {
    calls.push_back("FT_Close");
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    --openHandles;
    openHandle_ = nullptr;
    return FT_OK;
}

FT_STATUS FakeD2xx::Reset(FT_HANDLE handle) {
    calls.push_back("FT_ResetDevice");
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    received_.Clear();
    return FT_OK;
}

FT_STATUS FakeD2xx::Purge(FT_HANDLE handle, std::uint32_t mask) {
    calls.push_back("FT_Purge(" + std::to_string(mask) + ")");
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    if (purgeStatus != FT_OK) return purgeStatus;
    if ((mask & FT_PURGE_RX) != 0) received_.Clear();
    return FT_OK;
}

FT_STATUS FakeD2xx::SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) {
    calls.push_back("FT_SetTimeouts(" + std::to_string(readMs) + "," + std::to_string(writeMs) + ")");
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    readTimeoutMs_ = readMs;
    return FT_OK;
}

FT_STATUS FakeD2xx::QueueStatus(FT_HANDLE handle, std::uint32_t* bytes) {
    ++queueStatusCalls;
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    if (loader_.Vanished()) return FT_IO_ERROR;
    if (queueStatusFailsFrom > 0 && queueStatusCalls >= queueStatusFailsFrom) return FT_IO_ERROR;
    *bytes = static_cast<std::uint32_t>(received_.Readable(clock_.NowUs()));
    return FT_OK;
}

FT_STATUS FakeD2xx::WriteBytes(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* written) {
    *written = 0;
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    if (loader_.Vanished()) return FT_IO_ERROR;
    std::uint32_t accepted = count;
    if (!nextWriteLimits.empty()) {
        accepted = std::min(accepted, nextWriteLimits.front());
        nextWriteLimits.pop_front();
    } else if (const std::optional<int> frame = loader_.ExpectedDataFrame()) {
        const sim::ShortWriteRule* rule = sim::FindShortWrite(printer, *frame);
        if (rule != nullptr && count > 0 && shortWritesDone_[static_cast<std::size_t>(*frame)] < rule->writes) {
            ++shortWritesDone_[static_cast<std::size_t>(*frame)];
            accepted = std::min(rule->bytes, count - 1);
        }
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    writes.push_back(Write{clock_.NowUs(), count, std::vector<std::uint8_t>(bytes, bytes + accepted)});
    for (sim::LoaderReply& reply : loader_.Receive(bytes, accepted)) {
        received_.Push(clock_.NowUs() + static_cast<std::int64_t>(reply.delayMs) * 1000, std::move(reply.bytes));
    }
    if (std::optional<sim::CompletedImage> image = loader_.TakeCompletedImage()) {
        completedPayload_ = image->payload;
        ++completedDownloads_;
    }
    *written = accepted;
    return FT_OK;
}

FT_STATUS FakeD2xx::Read(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* received) {
    *received = 0;
    if (!Valid(handle)) return FT_INVALID_HANDLE;
    ++reads;
    if (loader_.Vanished()) return FT_IO_ERROR;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const std::int64_t deadline = clock_.NowUs() + static_cast<std::int64_t>(readTimeoutMs_) * 1000;
    std::size_t got = 0;
    for (;;) {
        got += received_.Take(clock_.NowUs(), bytes + got, count - got);
        if (got == count || clock_.NowUs() >= deadline) break;
        // Blocking on a virtual clock: jump to the next arrival or the timeout.
        const std::optional<std::int64_t> next = received_.NextReadableAt(clock_.NowUs());
        clock_.AdvanceToUs(next ? std::min(*next, deadline) : deadline);
    }
    *received = static_cast<std::uint32_t>(got);
    return FT_OK;
}
