// The download engine's window in a terminal: status texts as lines, a redrawn progress line on a
// terminal, JSON events for scripts, message boxes as lines on standard error, and Ctrl-C as the
// Stop button wherever Stop is enabled.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "MessageBox.h"
#include "RealTimeHost.h"

enum class OutputMode { Terminal, Plain, Quiet, Json };

class TerminalHost : public RealTimeHost {
public:
    TerminalHost(OutputMode mode, std::FILE* out, std::FILE* err);

    // A message box, shown as a line on standard error (and an event in JSON).
    void ShowMessage(const platform::MessageBoxRequest& request);
    // The one final line (or event): what became of the download, and the exit code.
    void Finish(const std::string& outcome, const std::string& description, int exitCode);

    // Counts an interrupt (Ctrl-C); safe to call from a signal handler.
    static void Interrupt();
    bool StopRequested() const { return stopRequested_; }

protected:
    void StatusChanged(const std::string& text) override;
    void ProgressChanged(int position, int maximum) override;
    void PollInput() override;

private:
    void Line(const std::string& text);
    void EndLiveLine();
    void DrawTransferLine();
    void DrawTickLine();
    void Event(const std::string& json);

    OutputMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    bool liveLine_ = false;
    bool stopRequested_ = false;
    int interruptsSeen_ = 0;
    std::string lastPrinted_;
    std::chrono::steady_clock::time_point transferStart_{};
    int transferStartBytes_ = 0;

    static std::atomic<int> interrupts_;
};
