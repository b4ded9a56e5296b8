// The --on-end command.
#include "EndHooks.h"

#include "ChildProcess.h"
#include "JsonText.h"
#include "VisibleText.h"

struct EndHooks::Run {
    platform::ChildProcess process;
    std::string output;
    bool outputEnded = false;
    std::string who;  // "FWSIM1002 at 1-3"
    std::chrono::steady_clock::time_point deadline;
    bool killed = false;  // past its time: ended, and waited for
};

std::vector<std::string> SplitCommand(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : command) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

EndHooks::EndHooks(std::string command, std::chrono::seconds timeout)
    : words_(SplitCommand(command)), shown_(VisibleText(command)), timeout_(timeout) {}

EndHooks::~EndHooks() = default;

std::string EndHooks::Start(const StationJob& job, const AttemptRecord& record,
                            std::chrono::steady_clock::time_point now) {
    auto run = std::make_unique<Run>();
    run->who =
        (record.serial.empty() ? std::string("(no serial)") : VisibleText(record.serial)) + " at " + record.location;
    run->deadline = now + timeout_;
    platform::ChildOptions options;
    options.environment = {{"SERIAL", record.serial},
                           {"LOCATION", record.location},
                           {"OUTCOME", record.outcome},
                           {"EXIT_CODE", std::to_string(record.exitCode)}};
    options.input = JsonText(RecordJson(job, record)) + "\n";
    options.hasInput = true;
    options.keepErrors = true;
    options.searchPath = true;
    const std::vector<std::string> arguments(words_.begin() + 1, words_.end());
    if (!run->process.Start(words_.front(), arguments, options)) {
        return "the --on-end command (" + shown_ + ") for " + run->who + " could not be started";
    }
    running_.push_back(std::move(run));
    return "";
}

std::vector<std::string> EndHooks::Poll(std::chrono::steady_clock::time_point now) {
    std::vector<std::string> failures;
    for (auto it = running_.begin(); it != running_.end();) {
        Run& run = **it;
        if (!run.outputEnded) run.outputEnded = !run.process.Read(run.output);
        int exitCode = 0;
        int signal = 0;
        if (!run.process.Ended(exitCode, signal)) {
            if (now >= run.deadline && !run.killed) {
                run.process.Kill();
                run.killed = true;
                failures.push_back("the --on-end command (" + shown_ + ") for " + run.who + " did not end within " +
                                   std::to_string(timeout_.count()) + " s and was ended");
            }
            ++it;  // until it is gone, so that it leaves no zombie
            continue;
        }
        if (!run.outputEnded) run.process.Read(run.output);
        if (exitCode != 0 && !run.killed) {
            // Its last words say why, as a person would read them.
            std::string last = run.output;
            while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) last.pop_back();
            last = last.substr(last.find_last_of('\n') == std::string::npos ? 0 : last.find_last_of('\n') + 1);
            failures.push_back("the --on-end command (" + shown_ + ") for " + run.who + " ended with exit code " +
                               std::to_string(exitCode) + (last.empty() ? "" : ": " + VisibleText(last)));
        }
        it = running_.erase(it);
    }
    return failures;
}
