// The virtual printer's configuration: its devices, timings, state folder, trace and the faults
// to inject, read from FWSIM_* environment variables (see sim/README.md).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

// The requests of the download exchange, as the printer's loader tells them apart.
enum class RequestKind { ModeChange, Poll, Data, WriteToMemory, Checksum };

enum class ReplyFault {
    Nak,       // result code NAK (for the mode change the single byte 0x15)
    Code,      // the given result code
    Silence,   // no reply at all
    Corrupt,   // the reply's CRC is wrong (the mode change answers 0x07)
    Overlong,  // the reply is followed by 70,000 further bytes
    Vanish,    // the device is unplugged on receiving the request
    Stall,     // the USB face halts its endpoints on receiving the request (the D2XX face: as Vanish)
    Split,     // the reply comes in two parts, the second kSplitGapMs after the first
};

// How long a split reply's second part follows its first: within a read timeout of the window's.
constexpr unsigned kSplitGapMs = 4;

struct ReplyFaultRule {
    ReplyFault fault = ReplyFault::Nak;
    RequestKind kind = RequestKind::Poll;
    int frame = -1;  // data frames only: the sequence number it applies to; -1 for every frame
    std::uint8_t code = 0;
};

struct ShortWriteRule {
    int frame = 0;              // data frame (sequence number) whose writes are cut short
    int writes = 1;             // how many writes of that frame are short
    std::uint32_t bytes = 200;  // bytes accepted by each short write (always fewer than asked)
};

struct SdkFailRule {
    std::string operation;  // exported name, e.g. "Get_StatusEx"
    int fromCall = 1;       // fails from this call on (1 = always)
};

struct RibbonReading {
    std::int32_t first = 0;
    std::int32_t second = 0;
};

struct Config {
    std::vector<std::string> devices{"CARD PRINTER"};
    std::vector<std::string> usbSerials;      // per device; FWSIM1000, FWSIM1001, ... where not given
    std::vector<std::uint32_t> usbLocations;  // per device, a location id; bus 1 ports 1, 2, ... where not given
    int attachAfterCounts = 0;                // the devices appear only after this many counts in a process
    int detachAfterCounts = -1;               // and are gone after this many (-1: never)
    bool holdOut = false;                     // the USB face's chip takes no bytes: writes wait for their timeout
    bool restartDetaches = false;             // a printer is off the bus while it restarts after a download (restartMs)
    unsigned latencyMs = 1;                   // until a reply becomes readable
    unsigned writeMs = 20;                    // writing the image into memory
    unsigned shortWriteMs = 0;                // how long a short write takes
    int restartCalls = 2;                     // Get_StatusEx calls answered "busy" after a download
    unsigned restartMs = 0;                   // and/or milliseconds of busy after a download
    std::string stateDir;
    std::string tracePath;
    std::string serial = "KX47-000123";
    std::vector<RibbonReading> ribbonReadings{{555, 560}};  // the last one repeats

    bool countError = false;
    std::vector<int> descriptionErrors;
    std::vector<int> openErrors;
    std::vector<ReplyFaultRule> replyFaults;
    std::vector<ShortWriteRule> shortWrites;
    std::vector<SdkFailRule> sdkFails;
    bool unterminatedSerial = false;
    bool replyThenFail = false;  // DeviceDirectGet2 fills the reply, then reports failure
    // Fault items aimed at one printer ("FWSIM1002@nak:data:3"): its serial, and the item.
    std::vector<std::pair<std::string, std::string>> deviceFaults;
    // Printers plugged in late ("FWSIM1004@attach-after:N"): after N counts of this process, or once
    // any process has seen them attached.
    std::vector<std::pair<std::string, int>> lateAttach;

    std::vector<std::string> problems;  // settings that could not be understood
};

using EnvironmentLookup = std::function<const char*(const char* name)>;

// Builds the configuration from a variable lookup (getenv by default).
Config ParseConfig(const EnvironmentLookup& lookup);
Config LoadConfigFromEnvironment();

// The printer as it sits behind an FTDI chip: it answers at once, and the face's latency timer
// (the chip's) delays every reply.
Config BehindChip(Config config);

// Device N's USB serial number.
std::string UsbSerial(const Config& config, std::size_t index);
// Device N's location id (see LocationId.h): as FWSIM_LOCATIONS gives it, else bus 1, port N + 1.
std::uint32_t UsbLocationId(const Config& config, std::size_t index);

// The folder that keeps device N's state: the state folder itself for the first device, a
// subfolder named by the serial number for every further one, so each printer has its own. A
// serial that another device shares, or that is no plain file name, names none: the device's port
// does ("port-1-3").
std::string PrinterFolder(const Config& config, std::size_t index);
// The printer folder the SDK face works on in this process: the one of the device this process
// opened last through the D2XX face, else the first device's.
std::string SdkPrinterFolder(const Config& config);
void RememberOpenedPrinter(const Config& config, std::size_t index);
// Removes this process's note of the device it opened (when the D2XX face goes away).
void ForgetOpenedPrinter(const Config& config);

// The configuration a session with the printer of this serial works with: the items aimed at it
// added to those for every printer.
Config ForDevice(const Config& config, const std::string& serial);
// The devices attached after this many counts in this process, as indices of config.devices.
std::vector<std::size_t> AttachedDevices(const Config& config, int counts);

// The fault that applies to a request, or nullptr.
const ReplyFaultRule* FindReplyFault(const Config& config, RequestKind kind, int frame);
// The short-write rule for a data frame, or nullptr.
const ShortWriteRule* FindShortWrite(const Config& config, int frame);
// True when the operation's call with this 1-based number must fail.
bool SdkCallFails(const Config& config, const std::string& operation, int callNumber);

const char* RequestKindName(RequestKind kind);

}  // namespace sim
