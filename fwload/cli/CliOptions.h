// fwload-cli's command line.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "D2xxDevices.h"
#include "RunEvents.h"

struct CliOptions {
    std::string firmware;
    std::string model;
    std::string ini;  // empty: fwload.ini beside the program
    std::string trace;
    std::string serial;                     // the card printer with this USB serial number
    std::optional<int> index;               // the device at this index of --list
    std::optional<std::uint32_t> location;  // the device on this USB port (a D2XX location id)
    unsigned waitSeconds = 0;               // how long to wait for the printer to be attached
    unsigned restartTimeout = 120;          // seconds to wait for the printer after a download
    bool list = false;
    bool quiet = false;
    bool json = false;
    bool fast = false;               // replies collected when whole, the chip's latency timer at 1 ms
    bool noDisplaySetUp = false;     // firmware only: no SDK library, no display lines
    bool displaySetUpAlone = false;  // a station's worker: the display set-up only with one card printer attached
    std::string sha256;              // the file must have this SHA-256 (64 lower-case hex digits), or empty
    std::string check;               // --check: the file to describe, touching no printer
    std::string commandLine;         // as given, for the trace
};

namespace CLI {
class App;
}
// The help's description, options and footer wrapped to the terminal's width (80 columns off one).
void FitHelpToTerminal(CLI::App& app, const std::string& description, const std::string& footer);

// Parses the arguments. Returns an exit code when the program should end at once (help or version
// shown: 0; a usage error: 2, already explained on err, as a JSON outcome on out when --json was
// asked for), otherwise nullopt with the options filled.
std::optional<int> ParseCliOptions(int argc, const char* const argv[], CliOptions& options, std::ostream& out,
                                   std::ostream& err);

// The outcome object of a run that ended before anything was sent (bad input, no printer), for
// --json, with any further fields (the candidates of an unclear choice, say).
std::string EarlyJsonOutcome(const std::string& outcome, const std::string& message, int exitCode,
                             const nlohmann::json& fields = nlohmann::json::object());

// A message for a terminal: each of its lines with its control characters made visible; the line
// breaks and tabs it was composed with stay as they are.
std::string ShownLines(const std::string& text);

// Tells the user on stderr, and a script on stdout when it asked for JSON; returns the exit code.
int EndEarly(bool json, const std::string& outcome, const std::string& message, int exitCode,
             const nlohmann::json& fields = nlohmann::json::object());
