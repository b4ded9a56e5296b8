// What a station checks before any printer is flashed, for the terminal and the windows alike: the
// firmware file (and the SHA-256 it is pinned to), the model in the settings file, the log read back
// as the station's memory and opened for the records; and the reports it writes at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "FirmwareFacts.h"
#include "StationModel.h"
#include "StationOptions.h"
#include "StationRecords.h"
#include "StationRunner.h"

struct StationStart {
    FirmwareFacts facts;
    StationJob job;
    StationRules rules;
    WorkerSetup setup;
    StationMemory memory;  // what the log remembers (its problems to be told once)
};

// Checks the options' files and opens the log; nullopt with the problem and the exit code (2, bad
// input) when the station cannot start. workerProgram: the fwload-cli that flashes each printer.
std::optional<StationStart> PrepareStation(const StationOptions& options, const std::string& workerProgram,
                                           StationLog& log, std::string& problem, int& exitCode,
                                           nlohmann::json& problemFields);

// Writes --csv and --junit whole; a sentence for each that could not be written.
std::vector<std::string> WriteStationReports(const StationOptions& options, const StationJob& job,
                                             const StationModel& model, double seconds);
