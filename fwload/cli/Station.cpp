// fwload-cli station: the station model and runner behind a terminal.
#include "Station.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>

#include "CliOptions.h"
#include "D2XX_Dyn.h"
#include "EndHooks.h"
#include "ProgramPath.h"
#include "StationModel.h"
#include "StationOptions.h"
#include "StationRunner.h"
#include "StationStart.h"
#include "StationView.h"
#include "StopRequests.h"
#include "Terminal.h"
#include "TerminalHost.h"

namespace {

StationTime Now() { return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()}; }

StationView::Mode ChooseMode(bool json) {
    if (json) return StationView::Mode::Json;
    if (!platform::IsTerminal(stdout)) return StationView::Mode::Plain;
    return platform::EnableTerminalEscapes(stdout) ? StationView::Mode::Rows : StationView::Mode::Plain;
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
    // The workers are the fwload-cli that this is: the one of the program's own folder.
    StationLog log;
    std::string problem;
    int exitCode = kExitBadInput;
    nlohmann::json fields;
    const std::optional<StationStart> start =
        PrepareStation(options, platform::ProgramPath(), log, problem, exitCode, fields);
    if (!start) return EndEarly(json, "bad-input", problem, exitCode, fields);
    if (!LoadD2XXLibrary()) return EndEarly(json, "no-driver", DriverMissingText(), kExitNoPrinter);
    platform::CatchStopRequests(&TerminalHost::Interrupt);

    StationModel station(start->rules, start->memory.passed);
    station.ExpectPorts(options.locations);
    StationView view(ChooseMode(json), station, start->job, std::chrono::steady_clock::now());
    EndHooks hooks(options.onEnd, std::chrono::seconds(options.onEndTimeout));
    StationRunner runner(station, start->setup, options.locationIds, log, start->job, hooks, view);
    view.Begin();
    for (const std::string& line : start->memory.problems) view.Warn("log-problem", line);

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
    for (const std::string& failure : WriteStationReports(options, start->job, station, seconds)) {
        view.Warn("report-failed", failure);
    }
    UnloadD2XXLibrary();

    const StationCounts counts = station.Counts();
    exitCode = runner.Stopping()                 ? 128 + TerminalHost::StopSignal()
               : !runner.RecordProblem().empty() ? kExitBadInput
               : counts.failed > 0               ? kExitFailed
                                                 : kExitComplete;
    const std::string summary = std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) +
                                " failed" +
                                (runner.Stopping()                 ? "; stopped by the user"
                                 : !runner.RecordProblem().empty() ? "; a record could not be kept"
                                                                   : "");
    view.End(summary, exitCode);
    return exitCode;
}
