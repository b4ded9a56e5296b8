// fwload-cli's command line.
#pragma once

#include <optional>
#include <ostream>
#include <string>

// Exit codes, documented in --help and the README.
enum ExitCode : int {
    kExitComplete = 0,
    kExitFailed = 1,
    kExitBadInput = 2,
    kExitNoPrinter = 3,
    kExitStopped = 130,
};

struct CliOptions {
    std::string firmware;
    std::string model;
    std::string ini;  // empty: fwload.ini beside the program
    std::string trace;
    bool list = false;
    bool quiet = false;
    bool json = false;
};

// Parses the arguments. Returns an exit code when the program should end at once (help shown: 0;
// a usage error, already explained on err: 2), otherwise nullopt with the options filled.
std::optional<int> ParseCliOptions(int argc, const char* const argv[], CliOptions& options, std::ostream& out,
                                   std::ostream& err);
