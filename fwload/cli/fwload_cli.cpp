// fwload-cli: fwload's download from a terminal, for scripts and production lines. The same engine,
// frames, waits and texts as the window; a command line, a choice of printer, exit codes that say
// what became of the printer, a reason for every failure, and machine-readable output.
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "Clock.h"
#include "D2XX_Dyn.h"
#include "DeviceChoice.h"
#include "DownloadEngine.h"
#include "DownloadFrames.h"
#include "DynamicLibrary.h"
#include "FailureText.h"
#include "Files.h"
#include "FirmwareFacts.h"
#include "FirmwareImage.h"
#include "JsonText.h"
#include "LinkTrace.h"
#include "LocationId.h"
#include "MessageBox.h"
#include "PrinterDisplay.h"
#include "ProgramPath.h"
#include "Sha256.h"
#include "Station.h"
#include "StopRequests.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "TerminalHost.h"
#include "VisibleText.h"
#include "qvxFileUtils.h"
#include "qvxStrUtils.h"

namespace {

constexpr unsigned kWaitPollMs = 250;

// Ctrl-C, SIGTERM and SIGHUP all ask for a stop, as the window's Stop button would.
void CatchStopSignals() { platform::CatchStopRequests(&TerminalHost::Interrupt); }

nlohmann::json DeviceJson(const D2xxDevice& device) {
    return nlohmann::json{
        {"index", device.index},
        {"description", device.readable ? nlohmann::json(device.description) : nlohmann::json(nullptr)},
        {"serial", device.serial},
        {"card_printer", device.cardPrinter},
        {"location",
         device.locationId != 0 ? nlohmann::json(d2xx::LocationText(device.locationId)) : nlohmann::json(nullptr)}};
}

// A printer among several, as a script needs it to choose one.
nlohmann::json CandidateJson(const D2xxDevice& device) {
    return nlohmann::json{{"index", device.index},
                          {"serial", device.serial},
                          {"location", device.locationId != 0 ? nlohmann::json(d2xx::LocationText(device.locationId))
                                                              : nlohmann::json(nullptr)},
                          {"description", device.description}};
}

// Names, once, the display lines of the model that the set-up will pass over: they write nothing,
// as in the window, but a line engineer should know before the display comes up blank.
void WarnOfUnreadableDisplayLines(const std::string& ini, const std::string& model) {
    for (int key = 1; key <= 4; ++key) {
        const std::string value = IniReadString(ini, model, std::to_string(key), "");
        if (SplitDisplayFields(value).empty() || DescribeDisplayLine(key, value).call != DisplayLineWrite::Call::None) {
            continue;
        }
        std::fprintf(stderr,
                     "fwload-cli: %s, [%s] %d=%s: not a display line (T,attribute,alignment,text; "
                     "I,-,-,image; or A); it is passed over\n",
                     VisibleText(ini).c_str(), VisibleText(model).c_str(), key, VisibleText(value).c_str());
    }
}

OutputMode ChooseOutput(const CliOptions& options) {
    if (options.json) return OutputMode::Json;
    if (options.quiet) return OutputMode::Quiet;
    return platform::IsTerminal(stdout) ? OutputMode::Terminal : OutputMode::Plain;
}

// Whether the printer the options ask for (any card printer when they name none) is attached.
bool WantedIsAttached(const std::vector<D2xxDevice>& devices, const PrinterWanted& wanted) {
    if (wanted.index) return *wanted.index < static_cast<int>(devices.size());
    return std::any_of(devices.begin(), devices.end(), [&](const D2xxDevice& device) {
        if (wanted.location) return device.locationId == *wanted.location;
        return wanted.serial.empty() ? device.cardPrinter : device.serial == wanted.serial;
    });
}

std::string WantedText(const PrinterWanted& wanted) {
    if (wanted.location) return "the device at location " + d2xx::LocationText(*wanted.location);
    if (!wanted.serial.empty()) return "the card printer with serial number " + VisibleText(wanted.serial);
    if (wanted.index) return "device " + std::to_string(*wanted.index);
    return "a card printer";
}

struct Listed {
    bool counted = false;  // the library could count the devices
    bool stopped = false;  // a stop was asked for while waiting
};

// Lists the devices; with --wait, again until the wanted printer is among them or the time is up,
// saying once that it waits.
Listed ListWaitingForPrinter(const CliOptions& options, const PrinterWanted& wanted, std::vector<D2xxDevice>& devices) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.waitSeconds);
    const int interrupts = TerminalHost::InterruptCount();
    bool said = false;
    for (;;) {
        const bool counted = ListD2xxDevices(devices);
        if (WantedIsAttached(devices, wanted) || Clock::now() >= deadline) return {counted, false};
        if (TerminalHost::InterruptCount() != interrupts) return {counted, true};
        if (!said) {
            const std::string text = "Waiting up to " + std::to_string(options.waitSeconds) + " s for " +
                                     WantedText(wanted) + " to be attached...";
            if (options.json) {
                std::printf(
                    "%s\n",
                    JsonText({{"event", "waiting"}, {"t_ms", 0}, {"seconds", options.waitSeconds}, {"message", text}})
                        .c_str());
            } else if (!options.quiet) {
                std::printf("%s\n", text.c_str());
            }
            std::fflush(stdout);
            said = true;
        }
        platform::SleepMilliseconds(kWaitPollMs);
    }
}

int StoppedWaiting(bool json, const PrinterWanted& wanted) {
    UnloadD2XXLibrary();
    return EndEarly(json, "stopped", "stopped while waiting for " + WantedText(wanted),
                    128 + TerminalHost::StopSignal());
}

int ListDevices(const CliOptions& options) {
    const bool json = options.json;
    if (!LoadD2XXLibrary()) return EndEarly(json, "no-driver", DriverMissingText(), kExitNoPrinter);
    std::vector<D2xxDevice> devices;
    CatchStopSignals();
    const Listed listed = ListWaitingForPrinter(options, {}, devices);
    if (listed.stopped) return StoppedWaiting(json, {});
    UnloadD2XXLibrary();
    if (!listed.counted) return EndEarly(json, "no-printer", "the D2XX devices could not be counted", kExitNoPrinter);
    for (const D2xxDevice& device : devices) {
        std::printf("%s\n", json ? JsonText(DeviceJson(device)).c_str() : DeviceLine(device).c_str());
    }
    if (json) {
        const std::size_t printers = CardPrinters(devices).size();
        std::printf("%s\n", EarlyJsonOutcome("listed",
                                             std::to_string(devices.size()) + " D2XX device(s) attached, " +
                                                 std::to_string(printers) + " of them card printers",
                                             kExitComplete, {{"devices", devices.size()}, {"card_printers", printers}})
                                .c_str());
    }
    if (devices.empty() && !json) {
        std::printf("No D2XX devices attached.\n");
        std::fprintf(stderr,
                     "fwload-cli: no USB device with an FTDI chip is attached: is the printer plugged in "
                     "and switched on?\n");
    }
    // A device whose strings cannot be read is almost always one this user may not open.
    if (std::any_of(devices.begin(), devices.end(), [](const D2xxDevice& device) { return !device.readable; })) {
        std::fprintf(stderr,
                     "fwload-cli: a device that cannot be read is one this user has no access to: install the "
                     "udev rule of the cardprinter-suite-d2xx package (or another that gives access to the "
                     "device), then unplug the device and plug it in again\n");
    }
    return kExitComplete;
}

std::string DeviceText(const PrinterChoice& choice) {
    if (!choice.device) return "the first card printer that opens";
    return "\"" + VisibleText(choice.device->description) + "\", serial " + VisibleText(choice.device->serial);
}

// --fast: the chip's latency timer at 1 ms while the download runs, its own value again before the
// link closes, on every path.
class FastLatency {
public:
    void Lower() {
        std::uint8_t current = 0;
        if (GetFTDeviceLatency(current) != FT_OK) current = 0;
        const FT_STATUS status = SetFTDeviceLatency(1);
        if (status == FT_NOT_SUPPORTED) {
            NoteInLinkTrace("the D2XX library has no FT_SetLatencyTimer: the chip's latency timer is left as it is");
        } else if (status == FT_OK && current > 1) {
            previous_ = current;
        }
    }
    // Called as the exchange ends, while the link is open, however the download ended.
    void Restore() {
        if (previous_ == 0 || !IsCardPrinterLinkHeld()) return;
        SetFTDeviceLatency(previous_);
        previous_ = 0;
    }

private:
    std::uint8_t previous_ = 0;  // 0: nothing to restore
};

// What became of the download, from the engine's last status and record.
struct Outcome {
    std::string id;
    std::string description;
    int exitCode;
};

// Why discovery found no printer to download to, from what the device list showed.
Outcome NoPrinterOutcome(const std::vector<D2xxDevice>& devices) {
    const auto any = [&](auto test) { return std::any_of(devices.begin(), devices.end(), test); };
    if (any([](const D2xxDevice& device) { return device.cardPrinter; })) {
        return {"busy", "The card printer is attached but could not be opened; another program may have it.",
                kExitNoPrinter};
    }
    if (any([](const D2xxDevice& device) { return !device.readable; })) {
        return {"no-access", "A device is attached that this user has no access to; fwload-cli --list tells more.",
                kExitNoPrinter};
    }
    return {"no-printer", "No card printer was found.", kExitNoPrinter};
}

// Why the printer chosen and shown did not open.
Outcome NotOpenedOutcome(OpenResult result, const PrinterChoice& choice, const std::vector<D2xxDevice>& devices) {
    const std::string chosen = DeviceText(choice);
    switch (result) {
        case OpenResult::Gone:
            return {"gone", "The card printer chosen (" + chosen + ") is no longer attached.", kExitNoPrinter};
        case OpenResult::Replaced:
            return {"replaced",
                    "Device " + std::to_string(choice.device->index) + " is no longer the card printer chosen (" +
                        chosen + "): another device took its place.",
                    kExitNoPrinter};
        default: return NoPrinterOutcome(devices);
    }
}

// What became of the download, from the engine's record alone (and why discovery found nothing to
// open, when it did not).
Outcome Judge(const TerminalHost& host, const Outcome& notOpened) {
    using Cause = DownloadFailure::Cause;
    const DownloadFailure& failure = host.Failure();
    const Outcome stopped{"stopped", "Stopped by the user.", 128 + TerminalHost::StopSignal()};
    if (!failure.Failed()) {
        if (!host.DisplaySetUpRefused().empty()) {
            return {"display-not-set-up", "Download complete; " + host.DisplaySetUpRefused() + ".",
                    kExitDisplayNotSetUp};
        }
        if (host.skipDisplaySetUp) {
            return {"complete", "Download complete; display set-up skipped as asked.", kExitComplete};
        }
        return {"complete", "Download complete; the printer's display is set up.", kExitComplete};
    }
    if (failure.stage == DownloadFailure::Stage::DisplaySetUp) {
        if (failure.cause == Cause::Stopped && host.StopKept()) {
            return {"stopped",
                    "Stopped by the user: the firmware is in the printer and checked; its display was not "
                    "set up.",
                    stopped.exitCode};
        }
        std::string notSetUp = kDisplayNotSetUp;
        notSetUp[0] = 'T';
        std::string why = DescribeFailure(failure);
        if (host.RestartTimedOut()) {
            why = "the printer did not answer within " + std::to_string(host.restartTimeoutSeconds) + " s";
        } else if (failure.cause == Cause::NoSdkLibrary) {
            why += "; --no-display-setup downloads the firmware alone";
        }
        return {"display-not-set-up", notSetUp + why + ".", kExitDisplayNotSetUp};
    }
    switch (failure.cause) {
        case Cause::Stopped: return stopped;
        case Cause::NoPrinter: return notOpened;
        case Cause::NotFirmware: return {"rejected", "The file was not sent.", kExitBadInput};
        default: return {"failed", "The download failed.", kExitFailed};
    }
}

// --check: what the file is and what would be sent, with no printer and no D2XX library.
int CheckFile(const CliOptions& options) {
    FirmwareFacts facts;
    if (const std::optional<std::string> problem = ReadFirmwareFacts(options.check, facts)) {
        return EndEarly(options.json, "bad-input", *problem, kExitBadInput);
    }
    const std::size_t imageBytes = facts.image.bytes.size();
    // One frame per 512 bytes, and a last one that is short: empty when the image fills its frames.
    const std::size_t frames = facts.header ? imageBytes / kDataPayloadSize + 1 : 0;
    const int exitCode = facts.header ? kExitComplete : kExitBadInput;
    if (options.json) {
        std::printf("%s\n", JsonText({{"event", "check"},
                                      {"file", options.check},
                                      {"firmware", facts.header},
                                      {"size", facts.size},
                                      {"image_bytes", imageBytes},
                                      {"data_frames", frames},
                                      {"byte_sum", Hex4(facts.image.byteSum)},
                                      {"sha256", facts.sha256},
                                      {"exit_code", exitCode}})
                                .c_str());
        return exitCode;
    }
    std::printf("File:        %s\n", VisibleText(options.check).c_str());
    std::printf("Header:      %s\n", facts.header ? "card printer firmware" : "not card printer firmware");
    std::printf("Size:        %s bytes\n", FormatWithThousands(facts.size).c_str());
    if (facts.header) {
        std::printf("Image:       %s bytes in %s data frames\n", FormatWithThousands(imageBytes).c_str(),
                    FormatWithThousands(frames).c_str());
        std::printf("Byte sum:    %s\n", Hex4(facts.image.byteSum).c_str());
    }
    std::printf("SHA-256:     %s\n", facts.sha256.c_str());
    return exitCode;
}

int Download(const CliOptions& options) {
    const bool json = options.json;
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
    if (!LoadD2XXLibrary()) return EndEarly(json, "no-driver", DriverMissingText(), kExitNoPrinter);

    std::vector<D2xxDevice> devices;
    const PrinterWanted wanted{options.serial, options.index, options.location};
    CatchStopSignals();
    // A failed count leaves discovery to say so.
    const auto started = std::chrono::steady_clock::now();
    if (ListWaitingForPrinter(options, wanted, devices).stopped) return StoppedWaiting(json, wanted);
    const auto waitedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::vector<D2xxDevice> candidates;
    const std::optional<PrinterChoice> choice = ChoosePrinter(devices, wanted, problem, candidates);
    if (!choice) {
        UnloadD2XXLibrary();
        if (!candidates.empty()) {
            nlohmann::json listed = nlohmann::json::array();
            for (const D2xxDevice& printer : candidates) listed.push_back(CandidateJson(printer));
            return EndEarly(json, "ambiguous", problem, kExitNoPrinter, {{"candidates", listed}});
        }
        return EndEarly(json, "no-printer", problem, kExitNoPrinter);
    }
    if (!options.noDisplaySetUp) WarnOfUnreadableDisplayLines(ini, *model);

    TerminalHost host(ChooseOutput(options), stdout, stderr, started);
    DownloadEngine engine(host);
    host.Attach(engine);
    host.model = *model;
    host.settingsFile = ini;
    host.restartTimeoutSeconds = options.restartTimeout;
    host.skipDisplaySetUp = options.noDisplaySetUp;
    FastLatency latency;
    engine.fastReplies = options.fast;
    Outcome notOpened = NoPrinterOutcome(devices);
    host.findPrinter = [&] {
        const OpenResult opened = OpenChosenPrinter(*choice);
        if (opened != OpenResult::Opened) {
            notOpened = NotOpenedOutcome(opened, *choice, devices);
            return false;
        }
        if (options.fast) latency.Lower();
        return true;
    };
    host.onExchangeEnded = [&latency] { latency.Restore(); };
    if (options.displaySetUpAlone) {
        host.refuseDisplaySetUp = [] {
            std::vector<D2xxDevice> attached;
            ListD2xxDevices(attached);
            const std::size_t printers = CardPrinters(attached).size();
            return printers > 1 ? "display set-up not done: " + std::to_string(printers) + " card printers attached"
                                : std::string();
        };
    }
    nlohmann::json extras{{"version", SUITE_VERSION},
                          {"mode", options.fast ? "fast" : "standard"},
                          {"waited_ms", waitedMs},
                          {"sha256", facts.sha256}};
    if (choice->device) extras["device"] = DeviceJson(*choice->device);
    host.outcomeExtras = extras;
    platform::SetMessageBoxHandler([&host](const platform::MessageBoxRequest& request) { host.ShowMessage(request); });

    const std::string fileText =
        options.firmware + ", " + FormatWithThousands(facts.size) + " bytes, byte sum " + Hex4(facts.image.byteSum);
    host.Inform("start", "Printer: " + DeviceText(*choice) + "; firmware: " + fileText,
                nlohmann::json{{"device", choice->device ? DeviceJson(*choice->device) : nlohmann::json(nullptr)},
                               {"file", options.firmware},
                               {"size", facts.size},
                               {"byte_sum", facts.image.byteSum},
                               {"sha256", facts.sha256}});
    if (!options.trace.empty()) {
        const std::string header = std::string("fwload-cli ") + SUITE_VERSION +
                                   "\n=== options: " + options.commandLine + "\n=== file: " + fileText +
                                   "\n=== model: " + *model + "\n=== device: " + DeviceText(*choice);
        if (!StartLinkTrace(options.trace, header)) {
            UnloadD2XXLibrary();
            return EndEarly(json, "bad-input", options.trace + ": cannot open the trace file", kExitBadInput);
        }
    }

    engine.BeginDownload();
    engine.RunDownload(options.firmware);
    engine.EndDownload();

    // A stop asked for from here on is not acted on, but must not end the run before its outcome.
    const Outcome outcome = Judge(host, notOpened);
    if (outcome.exitCode == kExitFailed ||
        (outcome.id == "stopped" && host.Failure().stage != DownloadFailure::Stage::DisplaySetUp)) {
        std::fprintf(stderr, "fwload-cli: %s\n", DescribeFailure(host.Failure()).c_str());
    }
    StopLinkTrace(outcome.id + " (exit " + std::to_string(outcome.exitCode) + "): " + outcome.description);
    UnloadD2XXLibrary();
    host.Finish(outcome.id, outcome.description, outcome.exitCode);
    return outcome.exitCode;
}

// fwload-cli [OPTIONS] station ...: the options a single run and a station share may come before
// the command, as with git or docker. The station's arguments then, the command first; nothing when
// the line is not a station's (a firmware file may be named "station": then nothing follows it).
std::optional<std::vector<std::string>> StationArguments(int argc, const char* const argv[]) {
    const std::vector<std::string> flags{"-j", "--json", "--fast", "--no-display-setup"};
    const std::vector<std::string> valued{"-m", "--model", "--ini", "--sha256", "--restart-timeout", "--location"};
    const auto among = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "station") {
            if (i + 1 == argc && i > 1) return std::nullopt;
            std::vector<std::string> station{"station"};
            station.insert(station.end(), argv + i + 1, argv + argc);
            station.insert(station.end(), argv + 1, argv + i);
            return station;
        }
        const std::string name = argument.substr(0, argument.find('='));
        if (among(valued, argument)) {
            ++i;
        } else if (!among(flags, argument) && !(name != argument && among(valued, name))) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::RestrictLibrarySearch();
    std::setlocale(LC_ALL, "");
    // A reader that goes away (| head, a closed terminal) must not end a download half-way.
    platform::KeepRunningWhenOutputCloses();
    if (const std::optional<std::vector<std::string>> station = StationArguments(argc, argv)) {
        std::vector<const char*> arguments;
        for (const std::string& argument : *station) arguments.push_back(argument.c_str());
        return RunStation(static_cast<int>(arguments.size()), arguments.data());
    }
    CliOptions options;
    if (const std::optional<int> code = ParseCliOptions(argc, argv, options, std::cout, std::cerr)) return *code;
    std::cout.flush();
    if (!options.check.empty()) return CheckFile(options);
    return options.list ? ListDevices(options) : Download(options);
}
