// A station's checks before it starts, and its reports at the end.
#include "StationStart.h"

#include "ChildProcess.h"
#include "Files.h"
#include "ProgramPath.h"
#include "SuiteVersion.h"

std::optional<StationStart> PrepareStation(const StationOptions& options, const std::string& workerProgram,
                                           StationLog& log, std::string& problem, int& exitCode,
                                           nlohmann::json& problemFields) {
    exitCode = kExitBadInput;
    problemFields = nlohmann::json::object();
    StationStart start;
    const std::string ini = options.ini.empty() ? platform::ProgramDirectory() + "fwload.ini" : options.ini;
    if (const std::optional<std::string> why = FirmwareProblem(options.firmware, start.facts)) {
        problem = *why;
        return std::nullopt;
    }
    if (const std::optional<std::string> why = PinnedSha256Problem(options.firmware, start.facts, options.sha256)) {
        problem = *why;
        problemFields = {{"sha256", start.facts.sha256}};
        return std::nullopt;
    }
    const std::optional<std::string> model = ResolveModel(ini, options.model, problem);
    if (!model) return std::nullopt;
    start.job = {platform::HostName(),
                 options.operatorName,
                 SUITE_VERSION,
                 options.firmware,
                 start.facts.size,
                 start.facts.image.byteSum,
                 start.facts.sha256,
                 *model,
                 options.fast ? "fast" : "standard"};
    // The log is the station's memory, and must take records before any printer is flashed.
    if (!options.log.empty()) {
        start.memory = ReadStationMemory(options.log, start.facts.sha256);
        if (!log.Open(options.log, start.memory.endsMidLine, problem)) {
            problem += " (the log must take a record per attempt)";
            return std::nullopt;
        }
    }
    start.rules.again = options.again;
    start.rules.parallel = options.parallel;
    start.rules.count = options.count;
    start.rules.restartTimeout = std::chrono::seconds(options.restartTimeout);
    start.rules.fileSize = start.facts.size;
    start.setup = {workerProgram,      options.firmware,       *model,       ini,
                   start.facts.sha256, options.restartTimeout, options.fast, options.displaySetUp};
    return start;
}

std::vector<std::string> WriteStationReports(const StationOptions& options, const StationJob& job,
                                             const StationModel& model, double seconds) {
    std::vector<std::string> problems;
    const auto write = [&](const std::string& path, const std::string& contents) {
        std::string reason;
        if (!path.empty() && !platform::ReplaceFileWhole(path, contents, reason)) {
            problems.push_back(path + ": could not be written (" + reason + ")");
        }
    };
    write(options.csv, CsvReport(job, model.Records()));
    write(options.junit, JUnitReport(job, model.Records(), seconds));
    return problems;
}
