// What a worker run tells its station: the stage it enters, its progress and its outcome, as
// fwload-cli --json writes them (one JSON object a line) and a station reads them back. The event
// names, keys and ids live here only, so the writer and the reader cannot drift apart.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "DownloadHost.h"

// A run's exit codes, documented in fwload-cli's --help and the README.
enum ExitCode : int {
    kExitComplete = 0,
    kExitFailed = 1,
    kExitBadInput = 2,
    kExitNoPrinter = 3,
    kExitDisplayNotSetUp = 4,
    // A stop exits with 128 + its signal: 130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP.
};

struct RunProgress {
    enum class Bar { Transfer, WriteToMemory, Checksum, Restart };
    Bar bar = Bar::Transfer;
    long long position = 0;
    long long maximum = 0;

    bool operator==(const RunProgress& other) const {
        return bar == other.bar && position == other.position && maximum == other.maximum;
    }
};

struct RunOutcome {
    std::string outcome;  // "complete", "failed", "stopped", "display-not-set-up", ...
    int exitCode = 0;
    std::string message;           // the run's closing sentence
    std::string reason;            // why it failed, as its standard error says; empty when it did not
    bool firmwareWritten = false;  // the printer took the firmware and confirmed its sum

    bool operator==(const RunOutcome& other) const {
        return outcome == other.outcome && exitCode == other.exitCode && message == other.message &&
               reason == other.reason && firmwareWritten == other.firmwareWritten;
    }
};

struct RunEvent {
    enum class Kind { Stage, Progress, Outcome, Other };
    Kind kind = Kind::Other;
    DownloadStage stage = DownloadStage::None;  // where the run stands (every event says it)
    RunProgress progress;                       // Kind::Progress
    RunOutcome outcome;                         // Kind::Outcome

    bool operator==(const RunEvent& other) const {
        return kind == other.kind && stage == other.stage && progress == other.progress && outcome == other.outcome;
    }
};

// The JSON object of an event: "event" (its name: "stage", "progress", "outcome", or the one given
// for Other), "stage" and the kind's own fields. The writer adds "t_ms" and any fields of its own.
nlohmann::json EncodeRunEvent(const RunEvent& event, const char* otherName = "status");
// An object a worker wrote, read back; nullopt for anything that is not an event (a worker's output
// is never trusted to be well-formed).
std::optional<RunEvent> DecodeRunEvent(const nlohmann::json& object);
// One line of a worker's output, read back.
std::optional<RunEvent> DecodeRunEvent(const std::string& line);
