// The virtual printer's SDK face: the card printer SDK operations our programs call, on the same
// printer as the D2XX face. Result codes: 0 success; 1 a failure injected with sdk-fail; 2 no
// printer attached; 3 the printer is not open; 4 an argument the printer refuses; 5 no reply to
// fetch; 6 busy restarting after a download; 7 configuration saved out of order.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CardPrinterSdk.h"
#include "PrinterStore.h"
#include "SimConfig.h"
#include "SimExport.h"
#include "Trace.h"

namespace {

enum Result : std::int32_t {
    kOk = 0,
    kInjectedFailure = 1,
    kNoPrinter = 2,
    kNotOpen = 3,
    kRefused = 4,
    kNoReply = 5,
    kBusy = 6,
    kOutOfOrder = 7,
};

constexpr std::size_t kProductionTextBytes = 20;
constexpr std::size_t kDirectReplyBytes = 10;
const std::uint8_t kCapacityQuery[] = {0x1B, 0x21, 0x56, 0x20, 0x33, 0x37, 0x0D};
const std::uint8_t kCapacitySetHead[] = {0x1B, 0x2B, 0x4D, 0x56, 0x53, 0x20};

// What the SDK keeps in this process: its own connection to the printer and its counters.
struct Sdk {
    std::mutex mutex;
    sim::Config config;
    sim::Trace trace;
    bool open = false;
    std::map<std::string, int> calls;
    std::size_t ribbonReadingIndex = 0;
    std::optional<std::vector<std::uint8_t>> pendingReply;
    bool firstSaveStepDone = false;

    sim::PrinterStore Store() const { return sim::PrinterStore(sim::SdkPrinterFolder(config)); }
};

// The library's state: made at the first call, gone when the library is unloaded.
Sdk& TheSdk() {
    static Sdk sdk;
    return sdk;
}

// Starts one operation: reloads the settings, counts the call and applies injected failures.
// Returns the failure to report, or nullopt to go on.
class Operation {
public:
    Operation(const char* name, bool needsOpen) : sdk_(TheSdk()), lock_(sdk_.mutex), name_(name) {
        sdk_.config = sim::LoadConfigFromEnvironment();
        sdk_.trace.Open(sdk_.config.tracePath);
        const int call = ++sdk_.calls[name_];
        if (sim::SdkCallFails(sdk_.config, name_, call)) early_ = kInjectedFailure;
        else if (sdk_.config.devices.empty()) early_ = kNoPrinter;
        else if (needsOpen && !sdk_.open) early_ = kNotOpen;
    }
    Sdk& sdk() { return sdk_; }
    std::optional<std::int32_t> early() const { return early_; }
    std::int32_t Done(std::int32_t result, const std::string& detail = std::string(),
                      const std::uint8_t* bytes = nullptr, std::size_t count = 0) {
        sdk_.trace.Line(name_ + detail + " = " + std::to_string(result), bytes, count);
        return result;
    }
    std::int32_t Early() { return Done(*early_); }

private:
    Sdk& sdk_;
    std::lock_guard<std::mutex> lock_;
    std::string name_;
    std::optional<std::int32_t> early_;
};

void CopyText(char* target, const std::string& text, bool terminate) {
    if (target == nullptr) return;
    const std::size_t length = std::min(text.size(), terminate ? kProductionTextBytes - 1 : kProductionTextBytes);
    std::memcpy(target, text.data(), length);
    if (terminate) target[length] = '\0';
}

std::int32_t StoreDisplayLine(Operation& operation, std::int32_t area, std::int32_t line, std::int32_t kind,
                              const char* text, bool extended) {
    const std::string detail = "(" + std::to_string(area) + ", " + std::to_string(line) + ", " +
                               std::to_string(kind) + ", \"" + (text ? text : "") + "\")";
    if (operation.early()) return operation.Done(*operation.early(), detail);
    if (area != 17 || line < '0' || line > '3' || text == nullptr) return operation.Done(kRefused, detail);
    operation.sdk().Store().Update([&](sim::PrinterState& state) {
        sim::DisplayLine& display = state.lines[line - '0'];
        display.written = true;
        display.extended = extended;
        display.kind = static_cast<std::uint8_t>(kind);
        display.text = text;
    });
    return operation.Done(kOk, detail);
}

}  // namespace

FWSIM_EXPORT std::int32_t SDK_API OpenDevice(const char* description, std::int32_t type) {
    Operation operation("OpenDevice", false);
    const std::string detail = std::string("(\"") + (description ? description : "") + "\", " + std::to_string(type) + ")";
    if (operation.early()) return operation.Done(*operation.early(), detail);
    operation.sdk().open = true;
    operation.sdk().ribbonReadingIndex = 0;  // each connection reads the configured sequence afresh
    return operation.Done(kOk, detail);
}

FWSIM_EXPORT std::int32_t SDK_API CloseDevice(std::int32_t type) {
    Operation operation("CloseDevice", false);
    const std::string detail = "(" + std::to_string(type) + ")";
    if (operation.early() == kInjectedFailure) return operation.Done(kInjectedFailure, detail);
    const bool wasOpen = operation.sdk().open;
    operation.sdk().open = false;
    return operation.Done(wasOpen ? kOk : kNotOpen, detail);
}

FWSIM_EXPORT std::int32_t SDK_API GetSensorPos(std::int32_t* position) {
    Operation operation("GetSensorPos", true);
    if (operation.early()) return operation.Early();
    if (position == nullptr) return operation.Done(kRefused);
    *position = operation.sdk().Store().Load().sensorPosition;
    return operation.Done(kOk, " -> " + std::to_string(*position));
}

FWSIM_EXPORT std::int32_t SDK_API SetSensorPos(std::int32_t position) {
    Operation operation("SetSensorPos", true);
    const std::string detail = "(" + std::to_string(position) + ")";
    if (operation.early()) return operation.Done(*operation.early(), detail);
    if (position != 0 && position != 1) return operation.Done(kRefused, detail);
    operation.sdk().Store().Update([&](sim::PrinterState& state) { state.sensorPosition = position; });
    return operation.Done(kOk, detail);
}

FWSIM_EXPORT std::int32_t SDK_API GetProduction(char* first, char* second, char* serial) {
    Operation operation("GetProduction", false);
    if (operation.early()) return operation.Early();
    CopyText(first, "KX-4700", true);
    CopyText(second, "FW 1.00", true);
    CopyText(serial, operation.sdk().config.serial, !operation.sdk().config.unterminatedSerial);
    return operation.Done(kOk, " -> \"" + operation.sdk().config.serial + "\"");
}

FWSIM_EXPORT std::int32_t SDK_API DeviceDirectSend2(std::uint8_t* bytes, std::int32_t count, std::int32_t channel,
                                                    std::int32_t replyFollows) {
    Operation operation("DeviceDirectSend2", false);
    const std::string detail = "(" + std::to_string(count) + ", " + std::to_string(channel) + ", " +
                               std::to_string(replyFollows) + ")";
    const std::size_t length = bytes != nullptr && count > 0 ? static_cast<std::size_t>(count) : 0;
    if (operation.early()) return operation.Done(*operation.early(), detail, bytes, length);
    Sdk& sdk = operation.sdk();
    sdk.pendingReply.reset();
    if (length == sizeof kCapacityQuery && std::equal(bytes, bytes + length, kCapacityQuery)) {
        sdk.pendingReply = std::vector<std::uint8_t>{sdk.Store().Load().ribbonCapacity};
        return operation.Done(kOk, detail, bytes, length);
    }
    if (length == sizeof kCapacitySetHead + 2 && std::equal(kCapacitySetHead, std::end(kCapacitySetHead), bytes) &&
        bytes[length - 1] == 0x0D) {
        const std::uint8_t code = bytes[length - 2];
        if (code != '0' && code != '1') return operation.Done(kRefused, detail, bytes, length);
        sdk.Store().Update([&](sim::PrinterState& state) { state.ribbonCapacity = code; });
        return operation.Done(kOk, detail, bytes, length);
    }
    return operation.Done(kRefused, detail, bytes, length);
}

FWSIM_EXPORT std::int32_t SDK_API DeviceDirectGet2(std::uint8_t* reply, std::int32_t* length) {
    Operation operation("DeviceDirectGet2", false);
    if (operation.early()) return operation.Early();
    Sdk& sdk = operation.sdk();
    if (!sdk.pendingReply || reply == nullptr) return operation.Done(kNoReply);
    const std::size_t count = std::min(sdk.pendingReply->size(), kDirectReplyBytes);
    std::memcpy(reply, sdk.pendingReply->data(), count);
    if (length != nullptr) *length = static_cast<std::int32_t>(count);
    sdk.pendingReply.reset();
    return operation.Done(sdk.config.replyThenFail ? kInjectedFailure : kOk, "", reply, count);
}

FWSIM_EXPORT std::int32_t SDK_API GetRibbonSensorEx(std::int32_t* first, std::int32_t* second) {
    Operation operation("GetRibbonSensorEx", true);
    if (operation.early()) return operation.Early();
    Sdk& sdk = operation.sdk();
    const std::vector<sim::RibbonReading>& readings = sdk.config.ribbonReadings;
    const sim::RibbonReading reading = readings[std::min(sdk.ribbonReadingIndex, readings.size() - 1)];
    ++sdk.ribbonReadingIndex;
    if (first != nullptr) *first = reading.first;
    if (second != nullptr) *second = reading.second;
    return operation.Done(kOk, " -> " + std::to_string(reading.first) + "/" + std::to_string(reading.second));
}

FWSIM_EXPORT std::int32_t SDK_API SetRibbonSensor() {
    Operation operation("SetRibbonSensor", true);
    if (operation.early()) return operation.Early();
    operation.sdk().Store().Update([](sim::PrinterState& state) { state.ribbonSensorSet = true; });
    return operation.Done(kOk);
}

FWSIM_EXPORT std::int32_t SDK_API N_SaveConfigurationData(std::int32_t step) {
    Operation operation("N_SaveConfigurationData", true);
    const std::string detail = "(" + std::to_string(step) + ")";
    if (operation.early()) return operation.Done(*operation.early(), detail);
    Sdk& sdk = operation.sdk();
    if (step == '1') {
        sdk.firstSaveStepDone = true;
        return operation.Done(kOk, detail);
    }
    if (step == '2' && sdk.firstSaveStepDone) {
        sdk.firstSaveStepDone = false;
        sdk.Store().Update([](sim::PrinterState& state) { ++state.configurationSaves; });
        return operation.Done(kOk, detail);
    }
    return operation.Done(kOutOfOrder, detail);
}

FWSIM_EXPORT std::int32_t SDK_API Get_StatusEx(std::uint8_t* status, std::uint8_t* detail) {
    Operation operation("Get_StatusEx", false);
    if (operation.early()) return operation.Early();
    bool busy = false;
    operation.sdk().Store().Update([&](sim::PrinterState& state) {
        if (state.busyCalls > 0) {
            --state.busyCalls;
            busy = true;
        } else {
            busy = sim::WallClockMs() < state.busyUntilMs;
        }
    });
    if (status != nullptr) *status = busy ? 'B' : 0;
    if (detail != nullptr) *detail = 0;
    return operation.Done(busy ? kBusy : kOk);
}

FWSIM_EXPORT std::int32_t SDK_API UserLCDMemoryWrite(std::int32_t area, std::int32_t line, std::int32_t kind,
                                                     const char* text) {
    Operation operation("UserLCDMemoryWrite", false);
    return StoreDisplayLine(operation, area, line, kind, text, false);
}

FWSIM_EXPORT std::int32_t SDK_API UserLCDMemoryWriteEx(std::int32_t area, std::int32_t line, std::int32_t kind,
                                                       const char* text) {
    Operation operation("UserLCDMemoryWriteEx", false);
    return StoreDisplayLine(operation, area, line, kind, text, true);
}

FWSIM_EXPORT std::int32_t SDK_API LCD_DISPLAY(std::int32_t mode, std::int32_t first, std::int32_t second) {
    Operation operation("LCD_DISPLAY", false);
    const std::string detail =
        "(" + std::to_string(mode) + ", " + std::to_string(first) + ", " + std::to_string(second) + ")";
    if (operation.early()) return operation.Done(*operation.early(), detail);
    operation.sdk().Store().Update([&](sim::PrinterState& state) { state.displayOn = mode == 9; });
    return operation.Done(kOk, detail);
}
