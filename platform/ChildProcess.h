// A program started as a child process, its standard output read through a pipe without blocking,
// its standard error discarded (or read with it); in a process group of its own, so that only its
// parent decides when it is asked to stop.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// How a child is started, beyond its command line.
struct ChildOptions {
    // Set in its environment, on top of this process's.
    std::vector<std::pair<std::string, std::string>> environment;
    // Written to its standard input, which then ends; without it the child shares this process's.
    std::string input;
    bool hasInput = false;
    bool keepErrors = false;  // its standard error goes where its output goes, instead of nowhere
    bool searchPath = false;  // a program named without a folder is looked for on PATH
};

class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();  // a child still running is left to run; its pipe is closed
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program with the arguments (argv[0] excluded); false when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments, const ChildOptions& options = {});
    int Id() const;
    // Appends what the child wrote since the last call; false once its output has ended.
    bool Read(std::string& output);
    // Asks it to stop as the signal would (SIGINT, SIGTERM, SIGHUP); on Windows as its Ctrl-C would,
    // through an event its stop requests watch (SUITE_STOP_EVENT).
    void Stop(int signal);
    // Ends it at once, with what it started (its process group).
    void Kill();
    // True once it has ended; then exitCode is its exit code, or 128 + the signal that ended it,
    // and endedBySignal that signal (0 when it exited).
    bool Ended(int& exitCode, int& endedBySignal);

    struct State;

private:
    friend void WaitForOutput(const std::vector<ChildProcess*>& children, int milliseconds);
    std::unique_ptr<State> state_;
};

// Waits until one of the children has output (or its output ends) or the time is up.
void WaitForOutput(const std::vector<ChildProcess*>& children, int milliseconds);

// This computer's name, for records of what was done where.
std::string HostName();

}  // namespace platform
