// A station's command line, shared by fwload-cli station and the station window: the same options
// with the same meanings, declared once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct StationOptions {
    std::string firmware;
    std::string model;
    std::string ini;
    std::vector<std::string> locations;
    std::vector<std::uint32_t> locationIds;  // the --location ports, parsed
    unsigned parallel = 0;                   // 0: no cap
    unsigned count = 0;                      // 0: until stopped
    unsigned restartTimeout = 120;
    bool again = false;
    bool displaySetUp = false;
    bool noDisplaySetUp = false;  // the default; accepted for symmetry with a single run
    bool fast = false;
    std::string sha256;
    std::string operatorName;
    std::string log;
    std::string csv;
    std::string junit;
    std::string onEnd;           // the line's command after each attempt; empty for none
    unsigned onEndTimeout = 30;  // seconds it may take
};

// What the station does, what its memory is, and why it sets no display up: for its help.
extern const char kStationHelp[];
extern const char kStationDisplaySetUpHelp[];

// Declares the station's options on the parser (the firmware file required when firmwareRequired).
void AddStationOptions(CLI::App& app, StationOptions& options, bool firmwareRequired = true);
// The checks the parser cannot make, after it has parsed: --location paths, --sha256, the display
// set-up flags. A sentence when the options cannot be used.
std::optional<std::string> CheckStationOptions(StationOptions& options);
