#include "Station.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Clock.h"
#include "CliOptions.h"
#include "D2XX_Dyn.h"
#include "DeviceChoice.h"
#include "FirmwareFacts.h"
#include "JsonText.h"
#include "LiveLine.h"
#include "LocationId.h"
#include "ProgramPath.h"
#include "StopRequests.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "TerminalHost.h"
#include "qvxStrUtils.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

constexpr auto kListEvery = std::chrono::milliseconds(250);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr char kStationHelp[] =
    "Flashes every card printer attached, and each one plugged in later, each by a fwload-cli run of its own, "
    "once per printer (keyed by its serial number): a printer that passed is not flashed again in this station "
    "run (unless --again), one that failed is tried again when it is unplugged and plugged in again.";
constexpr char kDisplaySetUpHelp[] =
    "The printer maker's SDK names no printer, so the display set-up cannot be aimed at one of several: a "
    "station downloads the firmware only, unless --display-setup is given; then the set-up runs for a printer "
    "only while it is the only card printer attached, and otherwise its attempt ends as \"display set-up not "
    "done: N card printers attached\" (exit 4 for that printer).";

struct StationOptions {
    std::string firmware;
    std::string model;
    std::string ini;
    std::vector<std::string> locations;
    std::vector<std::uint32_t> locationIds;
    unsigned parallel = 0;  // 0: no cap
    unsigned count = 0;     // 0: until stopped
    unsigned restartTimeout = 120;
    bool again = false;
    bool displaySetUp = false;
    bool noDisplaySetUp = false;  // the default; accepted for symmetry with a single run
    bool fast = false;
    bool json = false;
    std::string sha256;
    std::string operatorName;
    std::string log;
    std::string csv;
    std::string junit;
};

std::optional<int> ParseStationOptions(int argc, const char* const argv[], StationOptions& options) {
    CLI::App app{"", "fwload-cli station"};
    app.allow_windows_style_options(false);
    app.add_option("FIRMWARE", options.firmware, "the firmware image file (*.bin)")->required()->type_name("");
    app.add_option("-m,--model", options.model, "the model, a section of the settings file")->required()->type_name("MODEL");
    app.add_option("--ini", options.ini, "the settings file (default: fwload.ini beside the program)")->type_name("FILE");
    app.add_option("--location", options.locations, "only the card printers on this USB port (repeatable)")
        ->type_name("PATH");
    app.add_option("--parallel", options.parallel, "at most N downloads at once (default: no cap)")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    app.add_option("--count", options.count, "end once N printers have ended, passed or failed")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    app.add_flag("--again", options.again, "flash a printer that passed again when it is plugged in again");
    app.add_flag("--display-setup", options.displaySetUp,
                 "set the display up for a printer while it is the only card printer attached");
    app.add_flag("--no-display-setup", options.noDisplaySetUp, "firmware only (the default)");
    app.add_flag("--fast", options.fast, "each run as fwload-cli --fast");
    app.add_option("--sha256", options.sha256, "refuse the firmware file unless its SHA-256 is this")->type_name("HEX");
    app.add_option("--restart-timeout", options.restartTimeout,
                   "seconds to wait for a printer to restart before its display set-up (default 120)")
        ->check(CLI::PositiveNumber)
        ->type_name("SECONDS");
    app.add_option("--operator", options.operatorName, "the operator's name, for the records")->type_name("NAME");
    app.add_option("--log", options.log, "append a JSON line per attempt to FILE as each one ends")->type_name("FILE");
    app.add_option("--csv", options.csv, "write every attempt to FILE as CSV at the end")->type_name("FILE");
    app.add_option("--junit", options.junit, "write a JUnit XML report to FILE at the end")->type_name("FILE");
    app.add_flag("-j,--json", options.json, "print the runs' JSON events with serial and location, and the station's");
    FitHelpToTerminal(app, kStationHelp,
                      std::string(kDisplaySetUpHelp) +
                          "\n\nCtrl-C (or SIGTERM, SIGHUP) stops every run as a single run stops, records each "
                          "attempt and exits with 128 + the signal. Otherwise the exit code is 0 when every attempt "
                          "passed, 1 when any failed.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kExitComplete;
    } catch (const CLI::ParseError& error) {
        return EndEarly(options.json, "bad-input", std::string(error.what()) + " (fwload-cli station --help tells how)",
                        kExitBadInput);
    }
    for (const std::string& text : options.locations) {
        const std::optional<std::uint32_t> id = d2xx::ParseLocation(text);
        if (!id) {
            return EndEarly(options.json, "bad-input", "--location: \"" + text + "\" is not a USB port path such as 1-2.3",
                            kExitBadInput);
        }
        options.locationIds.push_back(*id);
    }
    if (options.displaySetUp && options.noDisplaySetUp) {
        return EndEarly(options.json, "bad-input", "--display-setup and --no-display-setup cannot be combined",
                        kExitBadInput);
    }
    std::transform(options.sha256.begin(), options.sha256.end(), options.sha256.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::nullopt;
}

std::string Iso8601(WallClock::time_point when) {
    const std::tm utc = platform::CalendarTime(WallClock::to_time_t(when), true);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
    return text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string XmlText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

// The record's fields, in the order CSV columns take them.
const char* const kRecordFields[] = {"started", "ended",   "station", "operator", "version",  "file",
                                     "size",    "byte_sum", "sha256", "model",    "mode",     "serial",
                                     "location", "outcome", "exit_code", "message", "duration_ms"};

struct Attempt {
    std::unique_ptr<platform::ChildProcess> worker;
    std::string pending;  // output not yet a whole line
    bool outputEnded = false;
    WallClock::time_point started;
    SteadyClock::time_point startedSteady;
    std::string stage = "start";
    long long sent = 0;
    long long total = 0;
    nlohmann::json outcome;  // the worker's outcome event, once it came
};

// A printer the station has seen, by its serial number (its port when it has none).
struct Printer {
    std::string serial;
    std::string location;
    bool attached = false;
    bool endedWhileAttached = false;  // its last attempt ended and it has not been unplugged since
    bool passed = false;
    // A printer whose firmware was written restarts: off the bus and back is not a new plug-in then.
    SteadyClock::time_point restartUntil{};
    bool restarting = false;
    std::unique_ptr<Attempt> running;
    std::string shown;  // how its last attempt ended: "passed: complete (exit 0), 0:05"
};

class Station {
public:
    Station(const StationOptions& options, const FirmwareFacts& facts, std::string model, std::string ini)
        : options_(options), facts_(facts), model_(std::move(model)), ini_(std::move(ini)),
          host_(platform::HostName()), program_(platform::ProgramPath()),
          mode_(options.json ? Mode::Json : !platform::IsTerminal(stdout) ? Mode::Plain
                                             : platform::EnableTerminalEscapes(stdout) ? Mode::Rows
                                                                                       : Mode::Plain) {}

    int Run();

private:
    enum class Mode { Rows, Plain, Json };

    void Scan();
    void Start(Printer& printer);
    void Collect(Printer& printer);
    void Finish(Printer& printer, int exitCode, int signal);
    void Record(const nlohmann::json& record);
    void Say(const Printer& printer, const std::string& text, const char* event, nlohmann::json fields = {});
    // One JSON line on standard output, at once.
    void Emit(nlohmann::json event) const {
        std::printf("%s\n", JsonText(std::move(event)).c_str());
        std::fflush(stdout);
    }
    void Draw(bool force);
    void WriteReports();
    std::string Row(const Printer& printer) const;
    std::size_t Running() const {
        return static_cast<std::size_t>(std::count_if(printers_.begin(), printers_.end(),
                                                      [](const Printer& printer) { return printer.running != nullptr; }));
    }
    long long SinceStart() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_).count();
    }

    const StationOptions& options_;
    const FirmwareFacts& facts_;
    const std::string model_;
    const std::string ini_;
    const std::string host_;
    const std::string program_;
    const Mode mode_;
    const SteadyClock::time_point start_ = SteadyClock::now();
    std::vector<Printer> printers_;  // in the order they were first seen
    std::vector<nlohmann::json> records_;
    unsigned started_ = 0;
    unsigned passed_ = 0;
    unsigned failed_ = 0;
    bool stopping_ = false;
    int rowsDrawn_ = 0;
    SteadyClock::time_point lastDraw_{};
};

void Station::Say(const Printer& printer, const std::string& text, const char* event, nlohmann::json fields) {
    if (mode_ == Mode::Json) {
        nlohmann::json line{{"event", event}, {"t_ms", SinceStart()}, {"serial", printer.serial}, {"location", printer.location}};
        if (fields.is_object()) line.update(fields);
        Emit(std::move(line));
    } else if (mode_ == Mode::Plain) {
        std::printf("%s at %s: %s\n", printer.serial.c_str(), printer.location.c_str(), text.c_str());
        std::fflush(stdout);
    }
}

void Station::Scan() {
    std::vector<D2xxDevice> devices;
    ListD2xxDevices(devices);
    std::vector<bool> before;
    for (Printer& printer : printers_) {
        before.push_back(printer.attached);
        printer.attached = false;
    }
    for (const D2xxDevice& device : CardPrinters(devices)) {
        const auto& wanted = options_.locationIds;
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), device.locationId) == wanted.end()) continue;
        const std::string location = device.locationId != 0 ? d2xx::LocationText(device.locationId) : "";
        std::size_t i = 0;
        while (i < printers_.size() && (device.serial.empty() ? !printers_[i].serial.empty() || printers_[i].location != location
                                                               : printers_[i].serial != device.serial)) {
            ++i;
        }
        if (i == printers_.size()) {
            printers_.emplace_back();
            printers_.back().serial = device.serial;
        }
        Printer& printer = printers_[i];
        printer.attached = true;
        if (i >= before.size() || !before[i]) {
            printer.location = location;
            Say(printer, printer.restarting ? "back after its restart" : "attached", printer.restarting ? "restarted" : "attached");
            printer.restarting = false;
        }
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
        Printer& printer = printers_[i];
        if (printer.attached || !before[i]) continue;
        // Off the bus during its run, or just after its firmware was written: a restart, until its run
        // or the time for a restart says otherwise.
        if (printer.running || (printer.endedWhileAttached && SteadyClock::now() < printer.restartUntil &&
                                !printer.restarting)) {
            printer.restarting = true;
            Say(printer, "restarting", "restarting");
            continue;
        }
        printer.endedWhileAttached = false;  // unplugged: a failed one may be tried again
        printer.restarting = false;
        Say(printer, "removed", "removed");
    }
}

void Station::Start(Printer& printer) {
    std::vector<std::string> arguments{"--json", "-m", model_, "--ini", ini_, "--restart-timeout",
                                       std::to_string(options_.restartTimeout), "--sha256", facts_.sha256};
    if (!printer.serial.empty()) {
        arguments.insert(arguments.end(), {"--serial", printer.serial});
    } else {
        arguments.insert(arguments.end(), {"--location", printer.location});
    }
    if (options_.fast) arguments.push_back("--fast");
    arguments.push_back(options_.displaySetUp ? "--display-setup-alone" : "--no-display-setup");
    arguments.push_back(options_.firmware);
    auto attempt = std::make_unique<Attempt>();
    attempt->worker = std::make_unique<platform::ChildProcess>();
    attempt->started = WallClock::now();
    attempt->startedSteady = SteadyClock::now();
    attempt->total = facts_.size;
    ++started_;
    if (!attempt->worker->Start(program_, arguments)) {
        attempt->worker.reset();  // nothing to wait for: the attempt ends as the loop next looks
        attempt->outputEnded = true;
        attempt->outcome = {{"outcome", "worker-died"}, {"exit_code", kExitFailed},
                            {"message", "The worker process could not be started (" + program_ + ")."}};
        printer.running = std::move(attempt);
        return;
    }
    Say(printer, "started", "started", {{"pid", attempt->worker->Id()}});
    printer.running = std::move(attempt);
}

void Station::Collect(Printer& printer) {
    Attempt& attempt = *printer.running;
    if (!attempt.outputEnded) attempt.outputEnded = !attempt.worker->Read(attempt.pending);
    for (std::size_t end; (end = attempt.pending.find('\n')) != std::string::npos;) {
        std::string line = attempt.pending.substr(0, end);
        attempt.pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (!event.is_object()) continue;
        const std::string name = event.value("event", "");
        const std::string stage = event.value("stage", attempt.stage);
        if (stage != attempt.stage && mode_ == Mode::Plain && name != "outcome") Say(printer, stage, "stage");
        attempt.stage = stage;
        if (name == "progress" && event.value("bar", "") == "transfer") {
            attempt.sent = event.value("position", 0LL);
            attempt.total = event.value("maximum", attempt.total);
        }
        if (name == "outcome") attempt.outcome = event;
        if (mode_ == Mode::Json) {
            event["serial"] = printer.serial;
            event["location"] = printer.location;
            Emit(std::move(event));
        }
    }
    int exitCode = 0;
    int signal = 0;
    if (attempt.outputEnded && (attempt.worker == nullptr || attempt.worker->Ended(exitCode, signal))) {
        Finish(printer, exitCode, signal);
    }
}

void Station::Finish(Printer& printer, int exitCode, int signal) {
    Attempt& attempt = *printer.running;
    const auto ended = WallClock::now();
    nlohmann::json outcome = attempt.outcome;
    if (!outcome.is_object() || !outcome.contains("outcome")) {
        outcome = {{"outcome", "worker-died"},
                   {"exit_code", exitCode},
                   {"message", signal != 0 ? "The worker process was ended by signal " + std::to_string(signal) + "."
                                           : "The worker process ended without an outcome (exit " +
                                                 std::to_string(exitCode) + ")."}};
    }
    const int code = outcome.value("exit_code", exitCode);
    std::string message = outcome.value("message", "");
    // Why a run failed, as its own standard error said it: "The download failed (the printer refused ...)."
    if (outcome.contains("reason") && outcome["reason"].is_string() && code != kExitComplete &&
        outcome.value("outcome", "") != "display-not-set-up") {
        if (!message.empty() && message.back() == '.') message.pop_back();
        message += " (" + outcome["reason"].get<std::string>() + ").";
    }
    nlohmann::json record{
        {"started", Iso8601(attempt.started)},
        {"ended", Iso8601(ended)},
        {"station", host_},
        {"operator", options_.operatorName},
        {"version", SUITE_VERSION},
        {"file", options_.firmware},
        {"size", facts_.size},
        {"byte_sum", Hex4(facts_.image.byteSum)},
        {"sha256", facts_.sha256},
        {"model", model_},
        {"mode", options_.fast ? "fast" : "standard"},
        {"serial", printer.serial},
        {"location", printer.location},
        {"outcome", outcome.value("outcome", "")},
        {"exit_code", code},
        {"message", message},
        {"duration_ms", std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - attempt.startedSteady).count()}};
    const bool passed = code == kExitComplete;
    (passed ? passed_ : failed_) += 1;
    // With its firmware written, the printer restarts within the time a run waits for that; otherwise
    // a printer off the bus went away, not to restart.
    if (passed || code == kExitDisplayNotSetUp) {
        printer.restartUntil = SteadyClock::now() + std::chrono::seconds(options_.restartTimeout);
    } else {
        printer.restarting = false;
    }
    printer.passed = printer.passed || passed;
    printer.endedWhileAttached = printer.attached || printer.restarting;
    printer.shown = (passed ? "passed: " : "failed: ") + record["outcome"].get<std::string>() + " (exit " +
                    std::to_string(code) + "), " + MinutesSeconds(record["duration_ms"].get<long long>() / 1000.0);
    printer.running.reset();
    Record(record);
    if (mode_ == Mode::Json) {
        nlohmann::json event{{"event", "ended"}, {"t_ms", SinceStart()}};
        event.update(record);
        Emit(std::move(event));
    } else if (mode_ == Mode::Plain) {
        Say(printer, printer.shown + ": " + record["message"].get<std::string>(), "ended");
    }
}

void Station::Record(const nlohmann::json& record) {
    records_.push_back(record);
    if (options_.log.empty()) return;
    std::ofstream log(options_.log, std::ios::app | std::ios::binary);
    log << JsonText(record) << "\n";
    log.flush();
    if (!log) std::fprintf(stderr, "fwload-cli: %s: the record could not be written\n", options_.log.c_str());
}

std::string Station::Row(const Printer& printer) const {
    char head[64];
    std::snprintf(head, sizeof head, "%-10s %-14s ", printer.location.c_str(), printer.serial.c_str());
    if (!printer.running) {
        const bool done = printer.passed && (printer.endedWhileAttached || !options_.again);
        if (printer.attached && done) return std::string(head) + "done, remove   " + printer.shown;
        if (printer.attached && printer.endedWhileAttached) return head + printer.shown + "; remove";
        if (printer.attached) return head + std::string("waiting");
        if (printer.restarting) return head + printer.shown + "; restarting";
        return head + (printer.shown.empty() ? std::string("removed") : printer.shown + "; removed");
    }
    const Attempt& attempt = *printer.running;
    char stage[24];
    std::snprintf(stage, sizeof stage, "%-16s", attempt.stage.c_str());
    return head + std::string(stage) + ProgressBar(attempt.sent, attempt.total, 20) + " " +
           FormatWithThousands(attempt.sent) + " / " + FormatWithThousands(attempt.total) + "  " +
           MinutesSeconds(std::chrono::duration<double>(SteadyClock::now() - attempt.startedSteady).count());
}

void Station::Draw(bool force) {
    if (mode_ != Mode::Rows) return;
    const auto now = SteadyClock::now();
    if (!force && now - lastDraw_ < kRedrawEvery) return;
    lastDraw_ = now;
    const int columns = platform::TerminalColumns(stdout);
    std::string screen;
    if (rowsDrawn_ > 0) screen += "\x1b[" + std::to_string(rowsDrawn_) + "A";
    std::vector<std::string> rows;
    for (const Printer& printer : printers_) rows.push_back(Row(printer));
    rows.push_back("passed " + std::to_string(passed_) + "   failed " + std::to_string(failed_) + "   in progress " +
                   std::to_string(Running()) + (stopping_ ? "   stopping" : ""));
    for (const std::string& row : rows) screen += LiveLine(true).Draw(row, columns) + "\n";
    rowsDrawn_ = static_cast<int>(rows.size());
    std::fputs(screen.c_str(), stdout);
    std::fflush(stdout);
}

void Station::WriteReports() {
    if (!options_.csv.empty()) {
        std::ofstream csv(options_.csv, std::ios::binary);
        std::string header;
        for (const char* field : kRecordFields) header += (header.empty() ? "" : ",") + std::string(field);
        csv << header << "\r\n";
        for (const nlohmann::json& record : records_) {
            std::string line;
            for (const char* field : kRecordFields) {
                const nlohmann::json& value = record[field];
                line += (line.empty() ? "" : ",") + CsvField(value.is_string() ? value.get<std::string>() : value.dump());
            }
            csv << line << "\r\n";
        }
        if (!csv) std::fprintf(stderr, "fwload-cli: %s: could not be written\n", options_.csv.c_str());
    }
    if (!options_.junit.empty()) {
        std::ofstream xml(options_.junit, std::ios::binary);
        xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            << "<testsuite name=\"fwload-cli station " << XmlText(model_) << "\" tests=\"" << records_.size()
            << "\" failures=\"" << failed_ << "\" errors=\"0\" time=\"" << SinceStart() / 1000.0 << "\" hostname=\""
            << XmlText(host_) << "\">\n";
        for (const nlohmann::json& record : records_) {
            xml << "  <testcase classname=\"" << XmlText(model_) << "\" name=\""
                << XmlText(record["serial"].get<std::string>()) << "\" time=\""
                << record["duration_ms"].get<long long>() / 1000.0 << "\"";
            if (record["exit_code"].get<int>() == kExitComplete) {
                xml << "/>\n";
                continue;
            }
            const std::string what = record["outcome"].get<std::string>() + " (exit " +
                                     std::to_string(record["exit_code"].get<int>()) + "): " +
                                     record["message"].get<std::string>();
            xml << ">\n    <failure message=\"" << XmlText(record["message"].get<std::string>()) << "\" type=\""
                << XmlText(record["outcome"].get<std::string>()) << "\">" << XmlText(what) << "</failure>\n  </testcase>\n";
        }
        xml << "</testsuite>\n";
        if (!xml) std::fprintf(stderr, "fwload-cli: %s: could not be written\n", options_.junit.c_str());
    }
}

int Station::Run() {
    if (mode_ == Mode::Json) {
        Emit({{"event", "station"}, {"t_ms", 0}, {"file", options_.firmware}, {"size", facts_.size},
              {"sha256", facts_.sha256}, {"model", model_}, {"station", host_}, {"version", SUITE_VERSION}});
    } else if (mode_ == Mode::Plain) {
        std::printf("Station: %s, %s bytes, byte sum %s, model %s; waiting for card printers\n", options_.firmware.c_str(),
                    FormatWithThousands(facts_.size).c_str(), Hex4(facts_.image.byteSum).c_str(), model_.c_str());
        std::fflush(stdout);
    }
    int interrupts = TerminalHost::InterruptCount();
    auto nextList = SteadyClock::now();
    for (;;) {
        if (TerminalHost::InterruptCount() != interrupts) {
            interrupts = TerminalHost::InterruptCount();
            stopping_ = true;
            for (Printer& printer : printers_) {
                if (printer.running && printer.running->worker) printer.running->worker->Stop(TerminalHost::StopSignal());
            }
        }
        const bool counted = options_.count != 0 && started_ >= options_.count;
        if (!stopping_ && !counted && SteadyClock::now() >= nextList) {
            Scan();
            nextList = SteadyClock::now() + kListEvery;
            for (Printer& printer : printers_) {
                if (!printer.attached || printer.running || printer.endedWhileAttached) continue;
                if (printer.passed && !options_.again) continue;
                if (options_.parallel != 0 && Running() >= options_.parallel) continue;
                if (options_.count != 0 && started_ >= options_.count) continue;
                Start(printer);
            }
            Draw(false);
        }
        std::vector<platform::ChildProcess*> workers;
        for (Printer& printer : printers_) {
            if (!printer.running) continue;
            Collect(printer);
            if (printer.running && printer.running->worker) workers.push_back(printer.running->worker.get());
        }
        Draw(false);
        if ((stopping_ || counted) && Running() == 0) break;
        const auto untilList = std::chrono::duration_cast<std::chrono::milliseconds>(nextList - SteadyClock::now()).count();
        platform::WaitForOutput(workers, static_cast<int>(std::clamp<long long>(untilList, 1, 100)));
    }
    Draw(true);
    WriteReports();
    const int exitCode = stopping_ ? 128 + TerminalHost::StopSignal() : failed_ > 0 ? kExitFailed : kExitComplete;
    const std::string summary = std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed" +
                                (stopping_ ? "; stopped by the user" : "");
    if (mode_ == Mode::Json) {
        Emit({{"event", "summary"}, {"t_ms", SinceStart()}, {"passed", passed_}, {"failed", failed_},
              {"attempts", records_.size()}, {"exit_code", exitCode}, {"message", summary}});
    } else {
        std::printf("Station: %s.\n", summary.c_str());
        std::fflush(stdout);
    }
    return exitCode;
}

}  // namespace

int RunStation(int argc, const char* const argv[]) {
    StationOptions options;
    if (const std::optional<int> code = ParseStationOptions(argc, argv, options)) return *code;
    const std::string ini = options.ini.empty() ? platform::ProgramDirectory() + "fwload.ini" : options.ini;
    FirmwareFacts facts;
    if (const std::optional<std::string> problem = FirmwareProblem(options.firmware, facts)) {
        return EndEarly(options.json, "bad-input", *problem, kExitBadInput);
    }
    if (const std::optional<std::string> problem = PinnedSha256Problem(options.firmware, facts, options.sha256)) {
        return EndEarly(options.json, "bad-input", *problem, kExitBadInput, {{"sha256", facts.sha256}});
    }
    std::string problem;
    const std::optional<std::string> model = ResolveModel(ini, options.model, problem);
    if (!model) return EndEarly(options.json, "bad-input", problem, kExitBadInput);
    if (!LoadD2XXLibrary()) return EndEarly(options.json, "no-driver", DriverMissingText(), kExitNoPrinter);
    platform::CatchStopRequests(&TerminalHost::Interrupt);
    Station station(options, facts, *model, ini);
    const int exitCode = station.Run();
    UnloadD2XXLibrary();
    return exitCode;
}
