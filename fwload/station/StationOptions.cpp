// The station's options.
#include "StationOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>

#include "EndHooks.h"
#include "LocationId.h"
#include "VisibleText.h"

const char kStationHelp[] =
    "Flashes every card printer attached, and each one plugged in later, each by a fwload-cli run of its own, "
    "once per printer: a printer that passed is not flashed again in this station run (unless --again), one "
    "that failed is tried again when it is unplugged and plugged in again. A printer is known by its serial "
    "number; where two attached printers report the same serial number, or one reports none, each is known "
    "by its USB port instead. With --log, the log is the station's memory: a printer whose latest record for "
    "this firmware passed is done earlier and not flashed again when the station starts anew (unless "
    "--again); printers known by their port are not remembered from one station run to the next.";
const char kStationDisplaySetUpHelp[] =
    "The printer maker's SDK names no printer, so the display set-up cannot be aimed at one of several: a "
    "station downloads the firmware only, unless --display-setup is given; then the set-up runs for a printer "
    "only while it is the only card printer attached, and otherwise its attempt ends as \"display set-up not "
    "done: N card printers attached\" (exit 4 for that printer).";

void AddStationOptions(CLI::App& app, StationOptions& options, bool firmwareRequired) {
    app.allow_windows_style_options(false);
    CLI::Option* firmware =
        app.add_option("FIRMWARE", options.firmware, "the firmware image file (*.bin)")->type_name("");
    CLI::Option* model =
        app.add_option("-m,--model", options.model, "the model, a section of the settings file")->type_name("MODEL");
    if (firmwareRequired) {
        firmware->required();
        model->required();
    }
    app.add_option("--ini", options.ini, "the settings file (default: fwload.ini beside the program)")
        ->type_name("FILE");
    app.add_option("--location", options.locations, "only the card printers on this USB port (repeatable)")
        ->type_name("PATH");
    app.add_option("--parallel", options.parallel, "at most N downloads at once (default: no cap)")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    app.add_option("--count", options.count, "end once N printers have ended, passed or failed")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    app.add_flag("--again", options.again,
                 "flash a printer that passed again when it is plugged in again, and one the log says passed");
    app.add_flag("--display-setup", options.displaySetUp,
                 "set the display up for a printer while it is the only card printer attached");
    app.add_flag("--no-display-setup", options.noDisplaySetUp, "firmware only (the default)");
    app.add_flag("--fast", options.fast, "each run as fwload-cli --fast");
    app.add_option("--sha256", options.sha256, "refuse the firmware file unless its SHA-256 is this")->type_name("HEX");
    app.add_option("--restart-timeout", options.restartTimeout,
                   "seconds to wait for a printer to restart after its firmware is written (default 120)")
        ->check(CLI::PositiveNumber)
        ->type_name("SECONDS");
    app.add_option("--operator", options.operatorName, "the operator's name, for the records")->type_name("NAME");
    app.add_option("--log", options.log,
                   "append a JSON line per attempt to FILE as each one ends, synced to the disk; read back at "
                   "the start as the station's memory")
        ->type_name("FILE");
    app.add_option("--csv", options.csv, "write every attempt to FILE as CSV at the end")->type_name("FILE");
    app.add_option("--junit", options.junit, "write a JUnit XML report to FILE at the end")->type_name("FILE");
    app.add_option("--on-end", options.onEnd,
                   "after each attempt's record is kept, run COMMAND (split at blanks, quotes keep a word whole; "
                   "no shell) with the record as a JSON line on its standard input and SERIAL, LOCATION, OUTCOME "
                   "and EXIT_CODE in its environment: for stack lights, label printers, a manufacturing system")
        ->type_name("COMMAND");
    app.add_option("--on-end-timeout", options.onEndTimeout,
                   "seconds the --on-end command may take before it is ended (default 30)")
        ->check(CLI::PositiveNumber)
        ->type_name("SECONDS");
}

std::optional<std::string> CheckStationOptions(StationOptions& options) {
    options.locationIds.clear();
    for (const std::string& text : options.locations) {
        const std::optional<std::uint32_t> id = d2xx::ParseLocation(text);
        if (!id) return "--location: \"" + VisibleText(text) + "\" is not a USB port path such as 1-2.3";
        options.locationIds.push_back(*id);
    }
    if (!options.onEnd.empty() && SplitCommand(options.onEnd).empty()) return std::string("--on-end: no command given");
    if (options.displaySetUp && options.noDisplaySetUp) {
        return std::string("--display-setup and --no-display-setup cannot be combined");
    }
    std::transform(options.sha256.begin(), options.sha256.end(), options.sha256.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::nullopt;
}
