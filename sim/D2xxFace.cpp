// The virtual printer's D2XX face: the FTDI D2XX library's exports with FTDI's published
// semantics (opaque handles, reads that honour the read timeout in real time, short writes as
// FT_OK with a smaller count, FT_IO_ERROR once unplugged), in front of the printer's loader.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "D2XXTypes.h"
#include "LocationId.h"
#include "Loader.h"
#include "PrinterStore.h"
#include "ReceiveQueue.h"
#include "SimConfig.h"
#include "SimExport.h"
#include "Trace.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Session {
    Session(int deviceIndex, const sim::Config& config)
        : device(deviceIndex),
          printerConfig(sim::BehindChip(sim::ForDevice(config, sim::UsbSerial(config, static_cast<std::size_t>(deviceIndex))))),
          loader(printerConfig),
          claim(sim::PrinterFolder(config, static_cast<std::size_t>(deviceIndex))),
          latencyMs(std::clamp(config.latencyMs, 1u, 255u)) {}
    int device;
    sim::Config printerConfig;
    std::uint32_t readTimeoutMs = 0;  // 0 waits without limit, as the chip does
    std::uint32_t writeTimeoutMs = 0;
    sim::ReceiveQueue received;
    sim::Loader loader;
    std::map<int, int> shortWritesDone;  // per data frame
    sim::DeviceClaim claim;              // no other process may open the device meanwhile
    unsigned latencyMs;                  // the latency timer, as FT_SetLatencyTimer set it
};

struct Face {
    std::mutex mutex;
    sim::Config config = sim::LoadConfigFromEnvironment();
    std::map<FT_HANDLE, std::unique_ptr<Session>> sessions;
    sim::Trace trace;
    const Clock::time_point start = Clock::now();

    Face() { trace.Open(config.tracePath); }
    ~Face() {
        if (openedAny) sim::ForgetOpenedPrinter(config);
    }
    bool openedAny = false;
    int counts = 0;  // device counts so far (FWSIM_FAULTS attach-after, detach-after)
    std::vector<std::size_t> infoList;  // the devices of the last FT_CreateDeviceInfoList

    // The devices attached now, in the order the library lists them.
    std::vector<std::size_t> Attached() const { return sim::AttachedDevices(config, counts); }

    void Reload() {
        config = sim::LoadConfigFromEnvironment();
        trace.Open(config.tracePath);
    }
    std::int64_t NowUs() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    }
    Session* Find(FT_HANDLE handle) {
        auto it = sessions.find(handle);
        return it == sessions.end() ? nullptr : it->second.get();
    }
    bool DeviceOpen(int index) const {
        for (const auto& entry : sessions) {
            if (entry.second->device == index) return true;
        }
        return false;
    }
};

// The library's state: made at the first call, gone when the library is unloaded.
Face& TheFace() {
    static Face face;
    return face;
}

FT_STATUS Traced(Face& face, const std::string& call, FT_STATUS status, const std::uint8_t* bytes = nullptr,
                 std::size_t count = 0) {
    face.trace.Line(call + " = " + FTStatusName(status), bytes, count);
    return status;
}

std::string HandleText(FT_HANDLE handle) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", handle);
    return text;
}

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Opens the device of this index in the configuration (one attached: callers find it in the list).
FT_STATUS OpenSession(Face& face, int index, FT_HANDLE* handle, const std::string& call) {
    if (handle == nullptr) return Traced(face, call, FT_INVALID_PARAMETER);
    if (Contains(face.config.openErrors, index) || face.DeviceOpen(index)) {
        return Traced(face, call, FT_DEVICE_NOT_OPENED);
    }
    auto session = std::make_unique<Session>(index, face.config);
    // Another process has the device: the driver refuses, as it would for a real printer.
    if (!session->claim.Held()) return Traced(face, call, FT_DEVICE_NOT_OPENED);
    sim::RememberOpenedPrinter(face.config, static_cast<std::size_t>(index));
    face.openedAny = true;
    *handle = session.get();
    face.sessions[*handle] = std::move(session);
    return Traced(face, call + " -> " + HandleText(*handle), FT_OK);
}

}  // namespace

FWSIM_EXPORT FT_STATUS FT_API FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if ((flags & FT_LIST_NUMBER_ONLY) != 0) {
        face.Reload();
        ++face.counts;
        const std::string call = "FT_ListDevices(count)";
        if (arg1 == nullptr) return Traced(face, call, FT_INVALID_PARAMETER);
        if (face.config.countError) return Traced(face, call, FT_IO_ERROR);
        const std::size_t attached = face.Attached().size();
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(attached);
        return Traced(face, call + " -> " + std::to_string(attached), FT_OK);
    }
    if ((flags & FT_LIST_BY_INDEX) != 0) {
        const auto listed = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
        const std::string call = "FT_ListDevices(index " + std::to_string(listed) + ")";
        if (arg2 == nullptr) return Traced(face, call, FT_INVALID_PARAMETER);
        const std::vector<std::size_t> attached = face.Attached();
        if (listed >= attached.size()) return Traced(face, call, FT_DEVICE_NOT_FOUND);
        const std::size_t index = attached[listed];
        if (Contains(face.config.descriptionErrors, static_cast<int>(index))) return Traced(face, call, FT_IO_ERROR);
        std::string text = (flags & FT_OPEN_BY_SERIAL_NUMBER) != 0 ? sim::UsbSerial(face.config, index)
                                                                    : face.config.devices[index];
        // Like the chip's library: a description of 64 bytes or more comes back without its NUL.
        auto* buffer = static_cast<char*>(arg2);
        if (text.size() >= FT_DESCRIPTION_BUFFER_SIZE) {
            std::memcpy(buffer, text.data(), FT_DESCRIPTION_BUFFER_SIZE);
        } else {
            std::memcpy(buffer, text.c_str(), text.size() + 1);
        }
        return Traced(face, call + " -> \"" + text + "\"", FT_OK);
    }
    return Traced(face, "FT_ListDevices(flags " + std::to_string(flags) + ")", FT_NOT_SUPPORTED);
}

FWSIM_EXPORT FT_STATUS FT_API FT_CreateDeviceInfoList(std::uint32_t* count) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    face.Reload();
    ++face.counts;
    if (count == nullptr) return Traced(face, "FT_CreateDeviceInfoList", FT_INVALID_PARAMETER);
    if (face.config.countError) return Traced(face, "FT_CreateDeviceInfoList", FT_IO_ERROR);
    face.infoList = face.Attached();
    *count = static_cast<std::uint32_t>(face.infoList.size());
    return Traced(face, "FT_CreateDeviceInfoList -> " + std::to_string(*count), FT_OK);
}

// An entry of the list FT_CreateDeviceInfoList made: a FT232R at full speed per printer.
FWSIM_EXPORT FT_STATUS FT_API FT_GetDeviceInfoDetail(std::uint32_t listed, std::uint32_t* flags, std::uint32_t* type,
                                              std::uint32_t* id, std::uint32_t* locationId, void* serial,
                                              void* description, FT_HANDLE* handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::string call = "FT_GetDeviceInfoDetail(" + std::to_string(listed) + ")";
    if (listed >= face.infoList.size() || face.infoList[listed] >= face.config.devices.size()) {
        return Traced(face, call, FT_DEVICE_NOT_FOUND);
    }
    const std::size_t index = face.infoList[listed];
    if (flags == nullptr || type == nullptr || id == nullptr || locationId == nullptr || serial == nullptr ||
        description == nullptr || handle == nullptr) {
        return Traced(face, call, FT_INVALID_PARAMETER);
    }
    *flags = face.DeviceOpen(static_cast<int>(index)) ? FT_FLAGS_OPENED : 0;
    *type = 5;  // FT_DEVICE_232R
    *id = 0x04036001u;
    *locationId = sim::UsbLocationId(face.config, index);
    const std::string serialText = sim::UsbSerial(face.config, index).substr(0, FT_SERIAL_BUFFER_SIZE - 1);
    const std::string descriptionText = face.config.devices[index].substr(0, FT_DESCRIPTION_BUFFER_SIZE - 1);
    std::memcpy(serial, serialText.c_str(), serialText.size() + 1);
    std::memcpy(description, descriptionText.c_str(), descriptionText.size() + 1);
    *handle = nullptr;
    for (const auto& entry : face.sessions) {
        if (entry.second->device == static_cast<int>(index)) *handle = entry.first;
    }
    return Traced(face, call + " -> " + d2xx::LocationText(*locationId), FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE* handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    face.Reload();
    const std::string call = "FT_Open(" + std::to_string(deviceNumber) + ")";
    const std::vector<std::size_t> attached = face.Attached();
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= attached.size()) {
        return Traced(face, call, FT_DEVICE_NOT_FOUND);
    }
    return OpenSession(face, static_cast<int>(attached[static_cast<std::size_t>(deviceNumber)]), handle, call);
}

FWSIM_EXPORT FT_STATUS FT_API FT_OpenEx(void* arg, std::uint32_t flags, FT_HANDLE* handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    face.Reload();
    const bool bySerial = flags == FT_OPEN_BY_SERIAL_NUMBER;
    if (flags == FT_OPEN_BY_LOCATION) {
        const auto location = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg));
        const std::string call = "FT_OpenEx(location " + d2xx::LocationText(location) + ")";
        for (const std::size_t i : face.Attached()) {
            if (sim::UsbLocationId(face.config, i) == location) return OpenSession(face, static_cast<int>(i), handle, call);
        }
        return Traced(face, call, FT_DEVICE_NOT_FOUND);
    }
    if (arg == nullptr || (flags != FT_OPEN_BY_DESCRIPTION && !bySerial)) return Traced(face, "FT_OpenEx", FT_NOT_SUPPORTED);
    const std::string wanted = static_cast<const char*>(arg);
    for (const std::size_t i : face.Attached()) {
        if ((bySerial ? sim::UsbSerial(face.config, i) : face.config.devices[i]) == wanted) {
            return OpenSession(face, static_cast<int>(i), handle, "FT_OpenEx(\"" + wanted + "\")");
        }
    }
    return Traced(face, "FT_OpenEx(\"" + wanted + "\")", FT_DEVICE_NOT_FOUND);
}

FWSIM_EXPORT FT_STATUS FT_API FT_Close(FT_HANDLE handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::string call = "FT_Close(" + HandleText(handle) + ")";
    if (face.sessions.erase(handle) == 0) return Traced(face, call, FT_INVALID_HANDLE);
    return Traced(face, call, FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_ResetDevice(FT_HANDLE handle) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    Session* session = face.Find(handle);
    if (session == nullptr) return Traced(face, "FT_ResetDevice", FT_INVALID_HANDLE);
    if (session->loader.Vanished()) return Traced(face, "FT_ResetDevice", FT_IO_ERROR);
    session->received.Clear();
    return Traced(face, "FT_ResetDevice", FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_Purge(FT_HANDLE handle, std::uint32_t mask) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::string call = "FT_Purge(" + std::to_string(mask) + ")";
    Session* session = face.Find(handle);
    if (session == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
    if (session->loader.Vanished()) return Traced(face, call, FT_IO_ERROR);
    if ((mask & FT_PURGE_RX) != 0) session->received.Clear();
    // Written bytes reach the printer at once, so there is never anything to purge on the way out.
    return Traced(face, call, FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE handle, std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::string call = "FT_SetTimeouts(" + std::to_string(readTimeout) + ", " + std::to_string(writeTimeout) + ")";
    Session* session = face.Find(handle);
    if (session == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
    session->readTimeoutMs = readTimeout;
    session->writeTimeoutMs = writeTimeout;
    return Traced(face, call, FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE handle, std::uint32_t* rxBytes) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    Session* session = face.Find(handle);
    if (session == nullptr) return FT_INVALID_HANDLE;
    if (rxBytes == nullptr) return FT_INVALID_PARAMETER;
    if (session->loader.Vanished()) return Traced(face, "FT_GetQueueStatus", FT_IO_ERROR);
    // Polled in a tight loop by the host, so only non-empty answers are traced.
    *rxBytes = static_cast<std::uint32_t>(session->received.Readable(face.NowUs()));
    if (*rxBytes > 0) Traced(face, "FT_GetQueueStatus -> " + std::to_string(*rxBytes), FT_OK);
    return FT_OK;
}

FWSIM_EXPORT FT_STATUS FT_API FT_Write(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* written) {
    Face& face = TheFace();
    std::unique_lock<std::mutex> lock(face.mutex);
    const std::string call = "FT_Write(" + std::to_string(count) + ")";
    Session* session = face.Find(handle);
    if (session == nullptr || written == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
    *written = 0;
    if (session->loader.Vanished()) return Traced(face, call, FT_IO_ERROR);
    if (buffer == nullptr && count > 0) return Traced(face, call, FT_INVALID_PARAMETER);

    std::uint32_t accepted = count;
    if (const std::optional<int> frame = session->loader.ExpectedDataFrame()) {
        const sim::ShortWriteRule* rule = sim::FindShortWrite(session->printerConfig, *frame);
        if (rule != nullptr && count > 0 && session->shortWritesDone[*frame] < rule->writes) {
            ++session->shortWritesDone[*frame];
            accepted = std::min(rule->bytes, count - 1);
            if (face.config.shortWriteMs > 0) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(face.config.shortWriteMs));
                lock.lock();
                session = face.Find(handle);
                if (session == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
            }
        }
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const std::int64_t now = face.NowUs();
    for (sim::LoaderReply& reply : session->loader.Receive(bytes, accepted)) {
        const std::int64_t delayMs = static_cast<std::int64_t>(reply.delayMs) + session->latencyMs;
        session->received.Push(now + delayMs * 1000, std::move(reply.bytes));
    }
    if (std::optional<sim::CompletedImage> image = session->loader.TakeCompletedImage()) {
        sim::RecordCompletedDownload(face.config, static_cast<std::size_t>(session->device), *image);
    }
    *written = accepted;
    return Traced(face, call + " -> " + std::to_string(accepted), FT_OK, bytes, accepted);
}

FWSIM_EXPORT FT_STATUS FT_API FT_Read(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* received) {
    Face& face = TheFace();
    std::unique_lock<std::mutex> lock(face.mutex);
    const std::string call = "FT_Read(" + std::to_string(count) + ")";
    Session* session = face.Find(handle);
    if (session == nullptr || received == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
    *received = 0;
    if (buffer == nullptr && count > 0) return Traced(face, call, FT_INVALID_PARAMETER);
    auto* bytes = static_cast<std::uint8_t*>(buffer);

    const std::int64_t start = face.NowUs();
    const bool waitsForever = session->readTimeoutMs == 0;
    const std::int64_t deadline = start + static_cast<std::int64_t>(session->readTimeoutMs) * 1000;
    std::size_t got = 0;
    for (;;) {
        if (session->loader.Vanished()) {
            *received = static_cast<std::uint32_t>(got);
            return Traced(face, call, FT_IO_ERROR, bytes, got);
        }
        const std::int64_t now = face.NowUs();
        got += session->received.Take(now, bytes + got, count - got);
        if (got == count || (!waitsForever && now >= deadline)) break;
        std::int64_t wake = waitsForever ? now + 1000 : deadline;
        if (const std::optional<std::int64_t> next = session->received.NextReadableAt(now)) wake = std::min(wake, *next);
        lock.unlock();
        std::this_thread::sleep_until(face.start + std::chrono::microseconds(wake));
        lock.lock();
        session = face.Find(handle);
        if (session == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
    }
    *received = static_cast<std::uint32_t>(got);
    return Traced(face, call + " -> " + std::to_string(got), FT_OK, bytes, got);
}

// The entry points the download never calls: present, checking the handle, doing nothing more.
#define FWSIM_HANDLE_ONLY(name, ...)                                                  \
    FWSIM_EXPORT FT_STATUS FT_API name(FT_HANDLE handle, ##__VA_ARGS__) {             \
        Face& face = TheFace();                                                       \
        std::lock_guard<std::mutex> lock(face.mutex);                                 \
        return Traced(face, #name, face.Find(handle) ? FT_OK : FT_INVALID_HANDLE);    \
    }

FWSIM_HANDLE_ONLY(FT_SetBaudRate, std::uint32_t)
FWSIM_HANDLE_ONLY(FT_SetDataCharacteristics, std::uint8_t, std::uint8_t, std::uint8_t)
FWSIM_HANDLE_ONLY(FT_SetFlowControl, std::uint16_t, std::uint8_t, std::uint8_t)
FWSIM_HANDLE_ONLY(FT_SetDtr)
FWSIM_HANDLE_ONLY(FT_ClrDtr)
FWSIM_HANDLE_ONLY(FT_SetRts)
FWSIM_HANDLE_ONLY(FT_ClrRts)
FWSIM_HANDLE_ONLY(FT_SetChars, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t)
#undef FWSIM_HANDLE_ONLY

FWSIM_EXPORT FT_STATUS FT_API FT_GetModemStatus(FT_HANDLE handle, std::uint32_t* status) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    if (face.Find(handle) == nullptr || status == nullptr) return Traced(face, "FT_GetModemStatus", FT_INVALID_HANDLE);
    *status = 0;
    return Traced(face, "FT_GetModemStatus", FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE handle, std::uint8_t* latency) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    Session* session = face.Find(handle);
    if (session == nullptr || latency == nullptr) return Traced(face, "FT_GetLatencyTimer", FT_INVALID_HANDLE);
    *latency = static_cast<std::uint8_t>(session->latencyMs);
    return Traced(face, "FT_GetLatencyTimer -> " + std::to_string(session->latencyMs), FT_OK);
}

FWSIM_EXPORT FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t latency) {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    const std::string call = "FT_SetLatencyTimer(" + std::to_string(latency) + ")";
    Session* session = face.Find(handle);
    if (session == nullptr) return Traced(face, call, FT_INVALID_HANDLE);
    if (latency < 1) return Traced(face, call, FT_INVALID_PARAMETER);
    session->latencyMs = latency;
    return Traced(face, call, FT_OK);
}

// The virtual printer has no EEPROM to read or program.
FWSIM_EXPORT FT_STATUS FT_API FT_EE_Read(FT_HANDLE, void*) { return FT_NOT_SUPPORTED; }
FWSIM_EXPORT FT_STATUS FT_API FT_EE_ReadEx(FT_HANDLE, void*, char*, char*, char*, char*) { return FT_NOT_SUPPORTED; }
FWSIM_EXPORT FT_STATUS FT_API FT_EraseEE(FT_HANDLE) { return FT_NOT_SUPPORTED; }
FWSIM_EXPORT FT_STATUS FT_API FT_EE_Program(FT_HANDLE, void*) { return FT_NOT_SUPPORTED; }

// For tests and the fault matrix: how many handles are open now.
FWSIM_EXPORT int FwSim_OpenHandleCount() {
    Face& face = TheFace();
    std::lock_guard<std::mutex> lock(face.mutex);
    return static_cast<int>(face.sessions.size());
}
