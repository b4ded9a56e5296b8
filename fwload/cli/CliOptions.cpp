// Argument parsing and help, through CLI11.
#include "CliOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>
#include "DynamicLibrary.h"
#include "JsonText.h"
#include "LocationId.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "VisibleText.h"

namespace {

// What stops a run, and where ports are numbered, in each system's own words.
#if defined(_WIN32)
constexpr char kStops[] = "Ctrl-C, Ctrl-Break or closing the console window";
constexpr char kStopCodes[] = "  130  stopped by the user (Ctrl-C, Ctrl-Break, the console window closed)";
constexpr char kPortNumbers[] = "as FTDI's driver numbers the ports; Device Manager shows each port's location";
#else
constexpr char kStops[] = "Ctrl-C (or SIGTERM, SIGHUP)";
constexpr char kStopCodes[] = "  130  stopped by the user (Ctrl-C); 143 by SIGTERM, 129 by SIGHUP";
constexpr char kPortNumbers[] = "as lsusb -t numbers the ports";
#endif

constexpr char kExitCodes[] =
    "Exit codes:\n"
    "  0    download complete, the printer's display set up (or skipped with --no-display-setup)\n"
    "  1    download failed (the reason is printed on standard error)\n"
    "  2    usage or bad input (missing or unreadable file, not a firmware file, unknown model)\n"
    "  3    D2XX driver library missing, no card printer found, or the printer to use is not clear\n"
    "  4    firmware written and checked, but the printer's display was not set up\n";

// --json asked for anywhere on the line, even on a line CLI11 cannot parse.
bool AsksForJson(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--json" || argument == "-j") return true;
        if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-' &&
            argument.find('j') != std::string::npos && argument.find_first_not_of("-lqjV") == std::string::npos) {
            return true;
        }
    }
    return false;
}

// Wraps each line of the text at blanks to at most width columns. A line's continuation is indented
// as far as its text begins: past its leading blanks, or past a code column ("  130  stopped ...").
std::string Wrap(const std::string& text, std::size_t width) {
    std::istringstream lines(text);
    std::string wrapped;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos || line.size() <= width) {
            wrapped += line + '\n';
            continue;
        }
        std::size_t hang = indent;
        const std::size_t gap = line.find("  ", indent);
        if (gap != std::string::npos && gap < 12) hang = line.find_first_not_of(' ', gap);
        std::string current = line.substr(0, hang);
        bool empty = true;  // nothing after the indentation yet
        std::istringstream words(line.substr(hang));
        for (std::string word; words >> word;) {
            if (!empty && current.size() + 1 + word.size() > width) {
                wrapped += current + '\n';
                current = std::string(hang, ' ');
                empty = true;
            }
            current += (empty ? "" : " ") + word;
            empty = false;
        }
        wrapped += current + '\n';
    }
    if (!wrapped.empty() && (text.empty() || text.back() != '\n')) wrapped.pop_back();
    return wrapped;
}

// CLI11's help with each option's description wrapped to the terminal's width.
class WrappingFormatter : public CLI::Formatter {
public:
    explicit WrappingFormatter(std::size_t columns) : columns_(columns) {}
    std::string make_option_desc(const CLI::Option* option) const override {
        const std::size_t room = columns_ > get_column_width() + 20 ? columns_ - get_column_width() - 1 : 20;
        return Wrap(option->get_description(), room);
    }

private:
    std::size_t columns_;
};

std::size_t HelpColumns() {
    const int terminalColumns = platform::TerminalColumns(stdout);
    return terminalColumns > 40 ? static_cast<std::size_t>(terminalColumns) : 80;
}

}  // namespace

void FitHelpToTerminal(CLI::App& app, const std::string& description, const std::string& footer) {
    const std::size_t columns = HelpColumns();
    app.description(Wrap(description, columns - 1));
    app.formatter(std::make_shared<WrappingFormatter>(columns));
    app.footer(Wrap(footer, columns - 1));
}

std::string ShownLines(const std::string& text) {
    std::string shown;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find_first_of("\n\t", start)) != std::string::npos; start = end + 1) {
        shown += VisibleText(text.substr(start, end - start)) + text[end];
    }
    return shown + VisibleText(text.substr(start));
}

std::string EarlyJsonOutcome(const std::string& outcome, const std::string& message, int exitCode,
                             const nlohmann::json& fields) {
    nlohmann::json event{{"event", "outcome"},    {"t_ms", 0},
                         {"outcome", outcome},    {"message", message},
                         {"exit_code", exitCode}, {"version", SUITE_VERSION}};
    event.update(fields);
    return JsonText(std::move(event));
}

// Tells the user on stderr, and a script on stdout when it asked for JSON; returns the exit code.
int EndEarly(bool json, const std::string& outcome, const std::string& message, int exitCode,
             const nlohmann::json& fields) {
    std::fprintf(stderr, "fwload-cli: %s\n", ShownLines(message).c_str());
    if (json) std::printf("%s\n", EarlyJsonOutcome(outcome, message, exitCode, fields).c_str());
    return exitCode;
}

std::optional<int> ParseCliOptions(int argc, const char* const argv[], CliOptions& options, std::ostream& out,
                                   std::ostream& err) {
    CLI::App app{"", "fwload-cli"};
    // A path such as /data/fw.bin is a file name, not a Windows-style /option.
    app.allow_windows_style_options(false);
    app.set_version_flag("-V,--version", std::string("fwload-cli ") + SUITE_VERSION);
    app.add_option("FIRMWARE", options.firmware, "the firmware image file (*.bin)");
    app.add_option("-m,--model", options.model,
                   "the model whose display lines are written after the download: a section of the settings file");
    app.add_option("--ini", options.ini, "the settings file (default: fwload.ini beside the program)");
    app.add_flag("-l,--list", options.list,
                 "list the attached D2XX devices: index, description, serial number, "
                 "and whether each is a card printer");
    app.add_option("-s,--serial", options.serial, "download to the card printer with this USB serial number");
    app.add_option("--index", options.index, "download to the device at this index of --list")
        ->check(CLI::NonNegativeNumber);
    std::string location;
    app.add_option("--location", location,
                   "download to the card printer on this USB port: the bus-port path that --list shows "
                   "(e.g. 1-2.3, " +
                       std::string(kPortNumbers) + ")")
        ->type_name("PATH");
    app.add_option("--wait", options.waitSeconds,
                   "wait up to SECONDS for the card printer (the one chosen) to be attached; Ctrl-C ends the wait")
        ->type_name("SECONDS")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--restart-timeout", options.restartTimeout,
                   "seconds to wait for the printer to restart after the download before giving up on its "
                   "display (default 120)")
        ->check(CLI::PositiveNumber);
    app.add_flag("-q,--quiet", options.quiet, "print only the final outcome");
    app.add_flag("--fast", options.fast,
                 "for production lines: the same bytes to the printer, without idle waiting (each reply is "
                 "read as soon as it is whole, the chip's latency timer set to 1 ms for the download)");
    app.add_flag("--no-display-setup", options.noDisplaySetUp,
                 "download the firmware only: the printer's display lines are not written and no card printer "
                 "SDK library is needed");
    // A station's worker: the SDK names no printer, so its display set-up waits for a printer alone.
    app.add_flag("--display-setup-alone", options.displaySetUpAlone)->group("");
    app.add_option("--sha256", options.sha256,
                   "refuse the firmware file unless its SHA-256 is this (64 hex digits), before any printer is "
                   "touched")
        ->type_name("HEX");
    app.add_option("--check", options.check,
                   "describe FILE and what a download would send (header, size, image bytes, data frames, byte sum, "
                   "SHA-256) without touching a printer; exit 0 for a firmware file, 2 otherwise")
        ->type_name("FILE");
    app.add_flag("-j,--json", options.json, "print one JSON object per event, and always a final outcome object");
    app.add_option("--trace", options.trace, "append a time-stamped hex trace of every request and reply to FILE")
        ->type_name("FILE");
    // Everything fits the terminal it is shown in (80 columns off a terminal).
    FitHelpToTerminal(
        app, "Downloads firmware into a card printer on USB, exactly as fwload does, from a terminal.",
        std::string("With several card printers attached, choose one with --serial, --index or --location; "
                    "fwload-cli station flashes them all, and each one plugged in later (fwload-cli station "
                    "--help).\n") +
            kStops +
            " stops the download wherever fwload's Stop button could; while the printer writes "
            "its memory and checks the sum it must not be interrupted: the run then stops as soon as the "
            "firmware is written, before the display set-up.\n\n" +
            kExitCodes + kStopCodes);
    const bool json = AsksForJson(argc, argv);
    const auto usageError = [&](const std::string& message) {
        err << "fwload-cli: " << ShownLines(message) << "\n"
            << "Run fwload-cli --help for usage.\n";
        if (json) out << EarlyJsonOutcome("bad-input", message, kExitBadInput) << "\n";
        return kExitBadInput;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitComplete;
    } catch (const CLI::CallForVersion&) {
        out << app.version() << "\n";
        return kExitComplete;
    } catch (const CLI::ParseError& error) {
        return usageError(error.what());
    }
    for (int i = 0; i < argc; ++i) options.commandLine += (i > 0 ? " " : "") + std::string(argv[i]);
    if (options.quiet && options.json) return usageError("--quiet and --json cannot be combined");
    if (!location.empty()) {
        options.location = d2xx::ParseLocation(location);
        if (!options.location) {
            return usageError("--location: \"" + location + "\" is not a USB port path such as 1-2.3");
        }
    }
    if (int(!options.serial.empty()) + int(options.index.has_value()) + int(options.location.has_value()) > 1) {
        return usageError("choose the printer with one of --serial, --index and --location");
    }
    if (!options.sha256.empty()) {
        std::string& hex = options.sha256;
        std::transform(hex.begin(), hex.end(), hex.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (hex.size() != 64 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
            return usageError("--sha256: \"" + hex + "\" is not 64 hex digits");
        }
    }
    if (!options.check.empty()) return std::nullopt;
    if (!options.list && options.firmware.empty()) return usageError("no firmware file given");
    if (!options.list && options.model.empty()) return usageError("--model is required");
    return std::nullopt;
}
