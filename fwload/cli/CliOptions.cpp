// Argument parsing and help, through CLI11.
#include "CliOptions.h"

#include <CLI/CLI.hpp>

std::optional<int> ParseCliOptions(int argc, const char* const argv[], CliOptions& options, std::ostream& out,
                                   std::ostream& err) {
    CLI::App app{"Downloads firmware into a card printer on USB, exactly as fwload does, from a terminal.",
                 "fwload-cli"};
    // A path such as /data/fw.bin is a file name, not a Windows-style /option.
    app.allow_windows_style_options(false);
    app.add_option("FIRMWARE", options.firmware, "the firmware image file (*.bin)");
    app.add_option("--model", options.model,
                   "the model whose display lines are written after the download: a section of the settings file");
    app.add_option("--ini", options.ini, "the settings file (default: fwload.ini beside the program)");
    app.add_flag("--list", options.list, "list the attached D2XX devices and whether each is a card printer");
    app.add_flag("--quiet", options.quiet, "print only the final outcome");
    app.add_flag("--json", options.json, "print one JSON object per event, for scripts");
    app.add_option("--trace", options.trace, "append a time-stamped hex trace of every request and reply to FILE")
        ->type_name("FILE");
    app.footer(
        "Ctrl-C stops the download wherever fwload's Stop button could; while the printer writes its memory\n"
        "and checks the sum it must not be interrupted, and Ctrl-C is refused.\n\n"
        "Exit codes:\n"
        "  0    download complete\n"
        "  1    download failed\n"
        "  2    usage or bad input (missing or unreadable file, not a firmware file, unknown model)\n"
        "  3    D2XX driver library missing, or no card printer found\n"
        "  130  stopped by the user");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitComplete;
    } catch (const CLI::ParseError& error) {
        err << "fwload-cli: " << error.what() << "\n" << "Run fwload-cli --help for usage.\n";
        return kExitBadInput;
    }
    if (options.quiet && options.json) {
        err << "fwload-cli: --quiet and --json cannot be combined\n";
        return kExitBadInput;
    }
    if (!options.list && options.firmware.empty()) {
        err << "fwload-cli: no firmware file given\nRun fwload-cli --help for usage.\n";
        return kExitBadInput;
    }
    if (!options.list && options.model.empty()) {
        err << "fwload-cli: --model is required\nRun fwload-cli --help for usage.\n";
        return kExitBadInput;
    }
    return std::nullopt;
}
