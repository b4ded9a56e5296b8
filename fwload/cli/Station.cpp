// fwload-cli station: the station model and runner behind a terminal.
#include "Station.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>

#include "ChildProcess.h"
#include "CliOptions.h"
#include "D2XX_Dyn.h"
#include "EndHooks.h"
#include "FirmwareFacts.h"
#include "ProgramPath.h"
#include "StationModel.h"
#include "StationOptions.h"
#include "StationRecords.h"
#include "StationRunner.h"
#include "StationView.h"
#include "StopRequests.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "TerminalHost.h"

namespace {

StationTime Now() { return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()}; }

StationView::Mode ChooseMode(bool json) {
    if (json) return StationView::Mode::Json;
    if (!platform::IsTerminal(stdout)) return StationView::Mode::Plain;
    return platform::EnableTerminalEscapes(stdout) ? StationView::Mode::Rows : StationView::Mode::Plain;
}

// Writes a report whole, or says why it could not be.
void WriteReport(StationView& view, const std::string& path, const std::string& contents) {
    std::string reason;
    if (!path.empty() && !platform::ReplaceFile(path, contents, reason)) {
        view.Warn("report-failed", path + ": could not be written (" + reason + ")");
    }
}

}  // namespace

int RunStation(int argc, const char* const argv[]) {
    StationOptions options;
    bool json = false;
    CLI::App app{"", "fwload-cli station"};
    AddStationOptions(app, options);
    app.add_flag("-j,--json", json, "print the runs' JSON events with serial and location, and the station's");
    FitHelpToTerminal(app, kStationHelp,
                      std::string(kStationDisplaySetUpHelp) +
                          "\n\nCtrl-C (or SIGTERM, SIGHUP) stops every run as a single run stops, records each "
                          "attempt and exits with 128 + the signal. Otherwise the exit code is 0 when every attempt "
                          "passed, 1 when any failed, 2 when the log cannot be written.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kExitComplete;
    } catch (const CLI::ParseError& error) {
        return EndEarly(json, "bad-input", std::string(error.what()) + " (fwload-cli station --help tells how)",
                        kExitBadInput);
    }
    if (const std::optional<std::string> problem = CheckStationOptions(options)) {
        return EndEarly(json, "bad-input", *problem, kExitBadInput);
    }
    const std::string ini = options.ini.empty() ? platform::ProgramDirectory() + "fwload.ini" : options.ini;
    FirmwareFacts facts;
    if (const std::optional<std::string> problem = FirmwareProblem(options.firmware, facts)) {
        return EndEarly(json, "bad-input", *problem, kExitBadInput);
    }
    if (const std::optional<std::string> problem = PinnedSha256Problem(options.firmware, facts, options.sha256)) {
        return EndEarly(json, "bad-input", *problem, kExitBadInput, {{"sha256", facts.sha256}});
    }
    std::string problem;
    const std::optional<std::string> model = ResolveModel(ini, options.model, problem);
    if (!model) return EndEarly(json, "bad-input", problem, kExitBadInput);

    const StationJob job{platform::HostName(), options.operatorName, SUITE_VERSION, options.firmware, facts.size,
                         facts.image.byteSum,  facts.sha256,         *model,        options.fast ? "fast" : "standard"};
    // The log is the station's memory, and must take records before any printer is flashed.
    StationMemory memory;
    StationLog log;
    if (!options.log.empty()) {
        memory = ReadStationMemory(options.log, facts.sha256);
        if (!log.Open(options.log, memory.endsMidLine, problem)) {
            return EndEarly(json, "bad-input", problem + " (the log must take a record per attempt)", kExitBadInput);
        }
    }
    if (!LoadD2XXLibrary()) return EndEarly(json, "no-driver", DriverMissingText(), kExitNoPrinter);
    platform::CatchStopRequests(&TerminalHost::Interrupt);

    StationRules rules;
    rules.again = options.again;
    rules.parallel = options.parallel;
    rules.count = options.count;
    rules.restartTimeout = std::chrono::seconds(options.restartTimeout);
    rules.fileSize = facts.size;
    StationModel station(rules, memory.passed);
    StationView view(ChooseMode(json), station, job, std::chrono::steady_clock::now());
    const WorkerSetup setup{platform::ProgramPath(), options.firmware, *model, ini, facts.sha256, options.restartTimeout,
                            options.fast, options.displaySetUp};
    EndHooks hooks(options.onEnd, std::chrono::seconds(options.onEndTimeout));
    StationRunner runner(station, setup, options.locationIds, log, job, hooks, view);
    view.Begin();
    for (const std::string& line : memory.problems) view.Warn("log-problem", line);

    int interrupts = TerminalHost::InterruptCount();
    const auto started = std::chrono::steady_clock::now();
    // The line's commands for the last attempts finish too (each within its time).
    while (!station.Finished() || runner.HooksRunning() > 0) {
        if (TerminalHost::InterruptCount() != interrupts) {
            interrupts = TerminalHost::InterruptCount();
            runner.StopAll(TerminalHost::StopSignal());
        }
        const StationTime now = Now();
        runner.Poll(now);
        view.Draw(false, runner.Stopping());
        if (!station.Finished() || runner.HooksRunning() > 0) runner.Wait(100, now);
    }
    view.Draw(true, runner.Stopping());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    WriteReport(view, options.csv, CsvReport(job, station.Records()));
    WriteReport(view, options.junit, JUnitReport(job, station.Records(), seconds));
    UnloadD2XXLibrary();

    const StationCounts counts = station.Counts();
    const int exitCode = runner.Stopping()                 ? 128 + TerminalHost::StopSignal()
                         : !runner.RecordProblem().empty() ? kExitBadInput
                         : counts.failed > 0               ? kExitFailed
                                                           : kExitComplete;
    const std::string summary = std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed" +
                                (runner.Stopping()                 ? "; stopped by the user"
                                 : !runner.RecordProblem().empty() ? "; a record could not be kept"
                                                                   : "");
    view.End(summary, exitCode);
    return exitCode;
}
