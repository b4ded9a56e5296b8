// The line's own command after each attempt (--on-end): for stack lights, label printers, posting to
// a manufacturing system. It runs once the attempt's record is kept, with the record as one JSON
// line on its standard input and SERIAL, LOCATION, OUTCOME and EXIT_CODE in its environment, never
// through a shell, and within a time limit. Its failure is told, never stops the station.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "StationRecords.h"

// The command's words: split at blanks, a word with blanks kept whole in '...' or "..."; nothing
// else is special (a backslash is a backslash, as in a Windows path).
std::vector<std::string> SplitCommand(const std::string& command);

class EndHooks {
public:
    // command: empty for none.
    EndHooks(std::string command, std::chrono::seconds timeout);
    ~EndHooks();  // a command still running is left to end on its own
    EndHooks(const EndHooks&) = delete;
    EndHooks& operator=(const EndHooks&) = delete;

    bool Enabled() const { return !words_.empty(); }
    // Runs the command for an attempt whose record is kept; a sentence when it could not start.
    std::string Start(const StationJob& job, const AttemptRecord& record, std::chrono::steady_clock::time_point now);
    // Reads the commands' output, ends those past their time; a sentence for each that failed.
    std::vector<std::string> Poll(std::chrono::steady_clock::time_point now);
    std::size_t Running() const { return running_.size(); }

private:
    struct Run;
    const std::vector<std::string> words_;
    const std::string shown_;  // the command as the sentences name it
    const std::chrono::seconds timeout_;
    std::vector<std::unique_ptr<Run>> running_;
};
