// fwload-cli: fwload's download from a terminal, for scripts and production lines. The same engine,
// frames, waits and texts as the window; a command line, exit codes and machine-readable output.
#include <csignal>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "CliOptions.h"
#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "Files.h"
#include "FirmwareImage.h"
#include "LinkTrace.h"
#include "MessageBox.h"
#include "ProgramPath.h"
#include "TerminalHost.h"
#include "qvxFileUtils.h"

namespace {

void OnInterrupt(int) { TerminalHost::Interrupt(); }

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int ReportMissingDriver() {
    std::fprintf(stderr, "fwload-cli: the FTDI D2XX driver library (%s) was not found.\n",
#if defined(_WIN32)
                 "ftd2xx.dll"
#else
                 "libftd2xx.so"
#endif
    );
    return kExitNoPrinter;
}

int ListDevices() {
    if (!LoadD2XXLibrary()) return ReportMissingDriver();
    int exitCode = kExitComplete;
    if (GetFTDeviceCount() != FT_OK) {
        std::fprintf(stderr, "Error: Get device count error.\n");
        exitCode = kExitNoPrinter;
    } else if (FTDeviceCount == 0) {
        std::printf("No D2XX devices attached.\n");
    } else {
        for (std::uint32_t i = 0; i < FTDeviceCount; ++i) {
            if (GetFTDeviceDescription(static_cast<std::int32_t>(i)) != FT_OK) {
                std::printf("%u\t(description not readable)\tnot a card printer\n", i);
                continue;
            }
            std::printf("%u\t\"%s\"\t%s\n", i, FTDeviceDescription.c_str(),
                        IsCardPrinterDescription(FTDeviceDescription) ? "card printer" : "not a card printer");
        }
    }
    UnloadD2XXLibrary();
    return exitCode;
}

// Checks the firmware file before the printer is touched; a message on failure.
std::optional<std::string> FirmwareProblem(const std::string& path) {
    if (platform::DirectoryExists(path)) return path + ": is a directory";
    platform::ReadOnlyFile file;
    if (!file.Open(path)) return path + ": " + file.ErrorText();
    const std::int64_t size = file.Size();
    if (size > std::numeric_limits<std::int32_t>::max()) return path + ": too large for card printer firmware";
    std::uint8_t header[kFirmwareHeaderSize] = {};
    const std::size_t got = file.Read(header, sizeof header);
    if (file.Failed()) return path + ": " + file.ErrorText();
    if (!IsFirmwareHeader(header, got)) return path + ": not a card printer firmware file";
    return std::nullopt;
}

// The section that --model names, as the settings file spells it; a message when there is none.
std::optional<std::string> ResolveModel(const std::string& ini, const std::string& model, std::string& problem) {
    if (platform::DirectoryExists(ini)) {
        problem = ini + ": is a directory";
        return std::nullopt;
    }
    std::vector<std::string> sections;
    IniReadSections(ini, sections);
    for (const std::string& section : sections) {
        if (SameIgnoringAsciiCase(section, model)) return section;
    }
    if (sections.empty()) {
        problem = "unknown model \"" + model + "\": " + ini + " lists no models";
    } else {
        problem = "unknown model \"" + model + "\"; " + ini + " lists:";
        for (const std::string& section : sections) problem += "\n  " + section;
    }
    return std::nullopt;
}

OutputMode ChooseOutput(const CliOptions& options) {
    if (options.json) return OutputMode::Json;
    if (options.quiet) return OutputMode::Quiet;
    return isatty(fileno(stdout)) ? OutputMode::Terminal : OutputMode::Plain;
}

int Download(const CliOptions& options) {
    const std::string ini = options.ini.empty() ? platform::ProgramDirectory() + "fwload.ini" : options.ini;
    if (const std::optional<std::string> problem = FirmwareProblem(options.firmware)) {
        std::fprintf(stderr, "fwload-cli: %s\n", problem->c_str());
        return kExitBadInput;
    }
    std::string problem;
    const std::optional<std::string> model = ResolveModel(ini, options.model, problem);
    if (!model) {
        std::fprintf(stderr, "fwload-cli: %s\n", problem.c_str());
        return kExitBadInput;
    }

    TerminalHost host(ChooseOutput(options), stdout, stderr);
    DownloadEngine engine(host);
    host.Attach(engine);
    host.model = *model;
    host.settingsFile = ini;
    platform::SetMessageBoxHandler([&host](const platform::MessageBoxRequest& request) { host.ShowMessage(request); });

    if (!LoadD2XXLibrary()) {
        const int code = ReportMissingDriver();
        host.Finish("no-driver", "The download did not start.", code);
        return code;
    }
    if (!options.trace.empty() && !StartLinkTrace(options.trace)) {
        std::fprintf(stderr, "fwload-cli: %s: cannot open the trace file\n", options.trace.c_str());
        return kExitBadInput;
    }
    std::signal(SIGINT, &OnInterrupt);

    engine.BeginDownload();
    engine.RunDownload(options.firmware);
    engine.EndDownload();

    std::signal(SIGINT, SIG_DFL);
    StopLinkTrace();
    UnloadD2XXLibrary();

    const std::string& status = host.Status();
    if (host.StopRequested()) {
        host.Finish("stopped", "Stopped by the user.", kExitStopped);
        return kExitStopped;
    }
    if (status == status_text::kFailure) {
        host.Finish("failed", "The download failed.", kExitFailed);
        return kExitFailed;
    }
    if (status == status_text::kInitialized) {
        host.Finish("complete", "Download complete; the printer's display is set up.", kExitComplete);
        return kExitComplete;
    }
    if (status == status_text::kComplete) {
        host.Finish("complete", "Download complete (no card printer SDK library: the display was not set up).",
                    kExitComplete);
        return kExitComplete;
    }
    if (status == status_text::kInitializing) {
        host.Finish("complete", "Download complete, but the printer's display lines could not be written.",
                    kExitComplete);
        return kExitComplete;
    }
    if (host.SizeText() == "- Bytes") {
        host.Finish("no-printer", "No card printer was found.", kExitNoPrinter);
        return kExitNoPrinter;
    }
    host.Finish("rejected", "The file was not sent.", kExitBadInput);
    return kExitBadInput;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    CliOptions options;
    if (const std::optional<int> code = ParseCliOptions(argc, argv, options, std::cout, std::cerr)) return *code;
    return options.list ? ListDevices() : Download(options);
}
