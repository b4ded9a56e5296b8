// Parsing of the FWSIM_* settings.
#include "SimConfig.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "LocationId.h"
#include "PrinterStore.h"

#if defined(_WIN32)
#include <process.h>
#include <windows.h>

#include <map>
#define getpid _getpid
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace sim {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseInt(const std::string& text, long long& value, int base = 10) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, base);
    return end != nullptr && *end == '\0';
}

bool ParseKind(const std::string& text, RequestKind& kind) {
    static const std::pair<const char*, RequestKind> kNames[] = {{"mode", RequestKind::ModeChange},
                                                                 {"poll", RequestKind::Poll},
                                                                 {"data", RequestKind::Data},
                                                                 {"write", RequestKind::WriteToMemory},
                                                                 {"checksum", RequestKind::Checksum}};
    for (const auto& [name, value] : kNames) {
        if (text == name) {
            kind = value;
            return true;
        }
    }
    return false;
}

void ParseUnsigned(const char* text, unsigned& target, const char* name, Config& config) {
    long long value = 0;
    if (text == nullptr) return;
    if (ParseInt(Trim(text), value) && value >= 0) {
        target = static_cast<unsigned>(value);
    } else {
        config.problems.push_back(std::string(name) + "=" + text);
    }
}

bool ParseFault(const std::string& item, Config& config) {
    if (const std::size_t at = item.find('@'); at != std::string::npos) {
        const std::string serial = item.substr(0, at);
        const std::string rest = item.substr(at + 1);
        const std::vector<std::string> parts = Split(rest, ':');
        long long number = 0;
        if (serial.empty()) return false;
        if (parts[0] == "attach-after") {
            if (parts.size() != 2 || !ParseInt(parts[1], number) || number < 0) return false;
            config.lateAttach.emplace_back(serial, static_cast<int>(number));
            return true;
        }
        Config scratch;
        if (!ParseFault(rest, scratch)) return false;
        config.deviceFaults.emplace_back(serial, rest);
        return true;
    }
    const std::vector<std::string> parts = Split(item, ':');
    const std::string& kind = parts[0];
    long long number = 0;
    if (kind == "count-error" && parts.size() == 1) {
        config.countError = true;
        return true;
    }
    if (kind == "unterminated-serial" && parts.size() == 1) {
        config.unterminatedSerial = true;
        return true;
    }
    if (kind == "restart-detaches" && parts.size() == 1) {
        config.restartDetaches = true;
        return true;
    }
    if (kind == "hold-out" && parts.size() == 1) {
        config.holdOut = true;
        return true;
    }
    if (kind == "reply-then-fail" && parts.size() == 1) {
        config.replyThenFail = true;
        return true;
    }
    if ((kind == "attach-after" || kind == "detach-after") && parts.size() == 2 && ParseInt(parts[1], number) &&
        number >= 0) {
        (kind == "attach-after" ? config.attachAfterCounts : config.detachAfterCounts) = static_cast<int>(number);
        return true;
    }
    if ((kind == "description-error" || kind == "open-error") && parts.size() == 2 && ParseInt(parts[1], number)) {
        (kind == "open-error" ? config.openErrors : config.descriptionErrors).push_back(static_cast<int>(number));
        return true;
    }
    if (kind == "short" && (parts.size() == 3 || parts.size() == 4)) {
        ShortWriteRule rule;
        long long writes = 0;
        long long bytes = rule.bytes;
        if (!ParseInt(parts[1], number) || !ParseInt(parts[2], writes)) return false;
        if (parts.size() == 4 && !ParseInt(parts[3], bytes)) return false;
        rule.frame = static_cast<int>(number);
        rule.writes = static_cast<int>(writes);
        rule.bytes = static_cast<std::uint32_t>(bytes);
        config.shortWrites.push_back(rule);
        return true;
    }
    if (kind == "sdk-fail" && (parts.size() == 2 || parts.size() == 3)) {
        SdkFailRule rule{parts[1], 1};
        if (parts.size() == 3) {
            if (!ParseInt(parts[2], number)) return false;
            rule.fromCall = static_cast<int>(number);
        }
        config.sdkFails.push_back(rule);
        return true;
    }

    static const std::pair<const char*, ReplyFault> kReplyFaults[] = {
        {"nak", ReplyFault::Nak},         {"code", ReplyFault::Code},         {"silence", ReplyFault::Silence},
        {"corrupt", ReplyFault::Corrupt}, {"overlong", ReplyFault::Overlong}, {"vanish", ReplyFault::Vanish},
        {"stall", ReplyFault::Stall},     {"split", ReplyFault::Split}};
    for (const auto& [name, fault] : kReplyFaults) {
        if (kind != name) continue;
        ReplyFaultRule rule;
        rule.fault = fault;
        std::size_t next = 1;
        if (parts.size() <= next || !ParseKind(parts[next++], rule.kind)) return false;
        if (fault == ReplyFault::Code) {
            if (parts.size() <= next || !ParseInt(parts[next++], number, 16)) return false;
            rule.code = static_cast<std::uint8_t>(number);
        }
        if (parts.size() > next) {
            if (rule.kind != RequestKind::Data || !ParseInt(parts[next++], number)) return false;
            rule.frame = static_cast<int>(number);
        }
        if (parts.size() != next) return false;
        config.replyFaults.push_back(rule);
        return true;
    }
    return false;
}

bool ParseRibbonReadings(const std::string& text, std::vector<RibbonReading>& readings) {
    readings.clear();
    for (const std::string& rawItem : Split(text, ',')) {
        std::string item = Trim(rawItem);
        long long repeat = 1;
        const std::size_t star = item.find('*');
        if (star != std::string::npos) {
            if (!ParseInt(item.substr(star + 1), repeat) || repeat < 1) return false;
            item = item.substr(0, star);
        }
        const std::size_t slash = item.find('/');
        long long first = 0;
        long long second = 0;
        if (slash == std::string::npos || !ParseInt(item.substr(0, slash), first) ||
            !ParseInt(item.substr(slash + 1), second)) {
            return false;
        }
        for (long long i = 0; i < repeat; ++i) {
            readings.push_back({static_cast<std::int32_t>(first), static_cast<std::int32_t>(second)});
        }
    }
    return !readings.empty();
}

std::string DefaultStateDir() {
    const char* base = std::getenv(
#if defined(_WIN32)
        "TEMP"
#else
        "TMPDIR"
#endif
    );
    std::string dir = base != nullptr && *base != '\0' ? base : "/tmp";
#if defined(_WIN32)
    return dir + "/fwsim";
#else
    return dir + "/fwsim-" + std::to_string(getuid());
#endif
}

// A serial number as FWSIM_SERIALS spells it: \xHH is that byte (a ';' among them), \\ a backslash.
std::string Unescaped(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            bytes += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

}  // namespace

Config ParseConfig(const EnvironmentLookup& lookup) {
    Config config;
    if (const char* devices = lookup("FWSIM_DEVICES")) {
        config.devices.clear();
        if (*devices != '\0') config.devices = Split(devices, ';');
    }
    if (const char* serials = lookup("FWSIM_SERIALS")) {
        for (const std::string& serial : Split(serials, ';')) config.usbSerials.push_back(Unescaped(serial));
    }
    if (const char* locations = lookup("FWSIM_LOCATIONS")) {
        for (const std::string& text : Split(locations, ';')) {
            const std::optional<std::uint32_t> id = d2xx::ParseLocation(Trim(text));
            if (!id) config.problems.push_back("FWSIM_LOCATIONS item " + text);
            config.usbLocations.push_back(id.value_or(0));
        }
    }
    ParseUnsigned(lookup("FWSIM_LATENCY_MS"), config.latencyMs, "FWSIM_LATENCY_MS", config);
    ParseUnsigned(lookup("FWSIM_WRITE_MS"), config.writeMs, "FWSIM_WRITE_MS", config);
    ParseUnsigned(lookup("FWSIM_SHORT_WRITE_MS"), config.shortWriteMs, "FWSIM_SHORT_WRITE_MS", config);
    ParseUnsigned(lookup("FWSIM_RESTART_MS"), config.restartMs, "FWSIM_RESTART_MS", config);
    unsigned restartCalls = static_cast<unsigned>(config.restartCalls);
    ParseUnsigned(lookup("FWSIM_RESTART_CALLS"), restartCalls, "FWSIM_RESTART_CALLS", config);
    config.restartCalls = static_cast<int>(restartCalls);

    const char* stateDir = lookup("FWSIM_STATE_DIR");
    config.stateDir = stateDir != nullptr && *stateDir != '\0' ? stateDir : DefaultStateDir();
    if (const char* trace = lookup("FWSIM_TRACE")) config.tracePath = trace;
    if (const char* serial = lookup("FWSIM_SERIAL")) config.serial = serial;
    if (const char* readings = lookup("FWSIM_RIBBON_READINGS")) {
        if (!ParseRibbonReadings(readings, config.ribbonReadings)) {
            config.problems.push_back(std::string("FWSIM_RIBBON_READINGS=") + readings);
            config.ribbonReadings = {{555, 560}};
        }
    }
    if (const char* faults = lookup("FWSIM_FAULTS")) {
        for (const std::string& rawItem : Split(faults, ',')) {
            const std::string item = Trim(rawItem);
            if (!item.empty() && !ParseFault(item, config)) config.problems.push_back("FWSIM_FAULTS item " + item);
        }
    }
    return config;
}

Config LoadConfigFromEnvironment() {
#if defined(_WIN32)
    // The process environment itself, where a variable may be set to the empty text.
    std::map<std::string, std::string> values;
    return ParseConfig([&values](const char* name) -> const char* {
        std::string buffer(32768, '\0');
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if ((length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) || length >= buffer.size()) return nullptr;
        buffer.resize(length);
        return values.insert_or_assign(name, buffer).first->second.c_str();
    });
#else
    return ParseConfig([](const char* name) { return std::getenv(name); });
#endif
}

Config ForDevice(const Config& config, const std::string& serial) {
    Config device = config;
    for (const auto& [aimedAt, item] : config.deviceFaults) {
        if (aimedAt == serial) ParseFault(item, device);
    }
    return device;
}

std::vector<std::size_t> AttachedDevices(const Config& config, int counts) {
    const bool gone = config.detachAfterCounts >= 0 && counts > config.detachAfterCounts;
    if (counts <= config.attachAfterCounts || gone) return {};
    std::vector<std::size_t> attached;
    for (std::size_t i = 0; i < config.devices.size(); ++i) {
        const std::string serial = UsbSerial(config, i);
        const auto late = std::find_if(config.lateAttach.begin(), config.lateAttach.end(),
                                       [&](const auto& entry) { return entry.first == serial; });
        if (late != config.lateAttach.end()) {
            // Plugged in once, for every process: the mark lives beside the printer's state.
            const std::string mark = PrinterFolder(config, i) + "/attached";
            const bool marked = std::ifstream(mark).good();
            if (!marked && counts <= late->second) continue;
            if (!marked) {
                std::filesystem::create_directories(PrinterFolder(config, i));
                std::ofstream{mark};
            }
        }
        if (config.restartDetaches && WallClockMs() < PrinterStore(PrinterFolder(config, i)).Load().busyUntilMs)
            continue;
        attached.push_back(i);
    }
    return attached;
}

const ReplyFaultRule* FindReplyFault(const Config& config, RequestKind kind, int frame) {
    for (const ReplyFaultRule& rule : config.replyFaults) {
        if (rule.kind == kind && (rule.frame < 0 || rule.frame == frame)) return &rule;
    }
    return nullptr;
}

const ShortWriteRule* FindShortWrite(const Config& config, int frame) {
    for (const ShortWriteRule& rule : config.shortWrites) {
        if (rule.frame == frame) return &rule;
    }
    return nullptr;
}

bool SdkCallFails(const Config& config, const std::string& operation, int callNumber) {
    return std::any_of(config.sdkFails.begin(), config.sdkFails.end(), [&](const SdkFailRule& rule) {
        return rule.operation == operation && callNumber >= rule.fromCall;
    });
}

const char* RequestKindName(RequestKind kind) {
    switch (kind) {
        case RequestKind::ModeChange: return "mode";
        case RequestKind::Poll: return "poll";
        case RequestKind::Data: return "data";
        case RequestKind::WriteToMemory: return "write";
        case RequestKind::Checksum: return "checksum";
    }
    return "?";
}

Config BehindChip(Config config) {
    config.latencyMs = 0;
    return config;
}

std::string UsbSerial(const Config& config, std::size_t index) {
    // "-": a chip whose EEPROM holds no serial number.
    if (index < config.usbSerials.size() && config.usbSerials[index] == "-") return "";
    if (index < config.usbSerials.size() && !config.usbSerials[index].empty()) return config.usbSerials[index];
    return "FWSIM" + std::to_string(1000 + index);
}

std::uint32_t UsbLocationId(const Config& config, std::size_t index) {
    if (index < config.usbLocations.size() && config.usbLocations[index] != 0) return config.usbLocations[index];
    // A port holds one device: past a hub's fifteen ports the next bus takes over ("2-1").
    return d2xx::LocationIdOf(static_cast<unsigned>(1 + index / 15), {static_cast<unsigned>(index % 15 + 1)});
}

std::string PrinterFolder(const Config& config, std::size_t index) {
    if (index == 0) return config.stateDir;
    const std::string serial = UsbSerial(config, index);
    bool plain = !serial.empty() && serial != "." && serial != ".." &&
                 serial.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") ==
                     std::string::npos;
    for (std::size_t other = 0; other < config.devices.size() && plain; ++other) {
        plain = other == index || UsbSerial(config, other) != serial;
    }
    if (plain) return config.stateDir + "/" + serial;
    return config.stateDir + "/port-" + d2xx::LocationText(UsbLocationId(config, index));
}

namespace {

constexpr char kOpenedByPrefix[] = "opened-by-";

std::string OpenedPrinterNote(const Config& config) {
    return config.stateDir + "/" + kOpenedByPrefix + std::to_string(static_cast<long>(getpid()));
}

bool ProcessAlive(long pid) {
#if defined(_WIN32)
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

// The notes of processes that ended without taking theirs away (killed, crashed).
void SweepNotesOfEndedProcesses(const Config& config) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(config.stateDir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kOpenedByPrefix, 0) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + sizeof kOpenedByPrefix - 1, &end, 10);
        if (pid > 0 && *end == '\0' && !ProcessAlive(pid)) std::filesystem::remove(entry.path(), error);
    }
}

}  // namespace

std::string SdkPrinterFolder(const Config& config) {
    std::ifstream in(OpenedPrinterNote(config));
    std::size_t index = 0;
    if (in >> index && index < config.devices.size()) return PrinterFolder(config, index);
    return PrinterFolder(config, 0);
}

void ForgetOpenedPrinter(const Config& config) { std::remove(OpenedPrinterNote(config).c_str()); }

void RememberOpenedPrinter(const Config& config, std::size_t index) {
    SweepNotesOfEndedProcesses(config);
    std::ofstream(OpenedPrinterNote(config), std::ios::trunc) << index << "\n";
}

}  // namespace sim
