// Runs a program of the suite as a separate process, as a user or a script would, and collects
// its output and exit code. A callback sees each line of standard output as it comes and may
// signal the process (to press Ctrl-C at the right moment).
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
    int exitCode = -1;  // 128 + signal number when killed by a signal
    std::string out;
    std::string err;
    std::vector<std::string> OutLines() const;
    std::vector<std::string> ErrLines() const;
};

struct ProcessOptions {
    std::vector<std::string> environment;  // NAME=VALUE set on top of the test's own environment
    std::vector<std::string> unset;        // names removed from it
    // Called for each line of standard output with the process id; may send it a signal.
    std::function<void(const std::string& line, int pid)> onOutLine;
    int timeoutSeconds = 120;
};

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});
