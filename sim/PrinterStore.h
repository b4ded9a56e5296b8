// The virtual printer's persistent state: one small file in the state folder, so that fwload,
// the tools and the tests, in one process or several, see the same printer.
#pragma once

#include <cstdint>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct DisplayLine {
    bool written = false;
    bool extended = false;      // written with UserLCDMemoryWriteEx
    std::uint8_t kind = 0;      // kind or attribute byte
    std::string text;
};

struct PrinterState {
    int downloads = 0;          // downloads whose checksum matched
    std::uint32_t imageLength = 0;
    std::uint16_t imageSum = 0;
    int busyCalls = 0;          // Get_StatusEx calls still answered "busy"
    std::int64_t busyUntilMs = 0;  // and the wall-clock moment (ms since 1970) busy ends
    DisplayLine lines[4];
    bool displayOn = false;
    int sensorPosition = 0;
    std::uint8_t ribbonCapacity = '0';
    bool ribbonSensorSet = false;
    int configurationSaves = 0;
};

class PrinterStore {
public:
    explicit PrinterStore(std::string folder);

    // The state as stored; the defaults when nothing is stored yet.
    PrinterState Load() const;
    // Reads, changes and writes the state under a lock held across processes.
    void Update(const std::function<void(PrinterState&)>& change) const;
    // Keeps the received image as image.bin in the state folder.
    void SaveImage(const std::vector<std::uint8_t>& image) const;
    std::string ImagePath() const;
    std::string StatePath() const;

private:
    std::string folder_;
};

// One process's claim on a printer, as a driver gives a device to one process at a time: taken
// (or not) at construction, without waiting; let go when destroyed or when the process ends.
class DeviceClaim {
public:
    explicit DeviceClaim(const std::string& folder);
    ~DeviceClaim();
    DeviceClaim(const DeviceClaim&) = delete;
    DeviceClaim& operator=(const DeviceClaim&) = delete;
    bool Held() const { return held_; }

private:
    bool held_ = false;
    std::intptr_t handle_ = -1;
};

std::string SerializeState(const PrinterState& state);
PrinterState ParseState(const std::string& text);

// Milliseconds since 1970 on the wall clock, which all processes share.
std::int64_t WallClockMs();

}  // namespace sim
