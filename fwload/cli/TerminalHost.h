// The download engine's window in a terminal: status texts as lines, a redrawn progress line on a
// terminal, JSON events for scripts, message boxes as lines on standard error, Ctrl-C as the Stop
// button wherever Stop is enabled, and a bounded wait for the printer's restart.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "DownloadFailure.h"
#include "LiveLine.h"
#include "MessageBox.h"
#include "RealTimeHost.h"
#include "RunEvents.h"

enum class OutputMode { Terminal, Plain, Quiet, Json };

class TerminalHost : public RealTimeHost {
public:
    // started: when the run began (its "Took" and t_ms count from there, a --wait included).
    TerminalHost(OutputMode mode, std::FILE* out, std::FILE* err,
                 std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now());

    // Opens the printer for the download (default: the window's discovery).
    std::function<bool()> findPrinter;
    // After a complete download, how long to wait for the printer to answer before giving up.
    unsigned restartTimeoutSeconds = 120;
    // Called when the exchange with the printer is over, while the link is still open.
    std::function<void()> onExchangeEnded;
    // --no-display-setup: the download ends with the firmware written and checked.
    bool skipDisplaySetUp = false;
    // Asked before the display set-up: why it must not run now (empty: it may).
    std::function<std::string()> refuseDisplaySetUp;
    // Fields added to the JSON outcome (the device, the mode...).
    nlohmann::json outcomeExtras = nlohmann::json::object();

    // A message box, shown as a line on standard error (and an event in JSON).
    void ShowMessage(const platform::MessageBoxRequest& request);
    // A line on standard error, "fwload-cli: " before it.
    void Warn(const std::string& text);
    // A line of information before the download (the printer and file chosen); an event in JSON.
    void Inform(const std::string& event, const std::string& text, const nlohmann::json& fields);
    // The one final line (or event): what became of the download, and the exit code.
    void Finish(const std::string& outcome, const std::string& description, int exitCode);

    // Counts a request to stop (Ctrl-C, SIGTERM, SIGHUP) and keeps its signal; safe to call from a
    // signal handler.
    static void Interrupt(int signal);
    // The signal of the last request to stop (SIGINT when none came).
    static int StopSignal() { return lastSignal_.load(); }
    // How many requests to stop have come so far.
    static int InterruptCount() { return interrupts_.load(); }
    bool StopRequested() const { return stopRequested_; }
    // A stop came while the printer wrote its memory: kept, and honoured before the display set-up.
    bool StopKept() const { return stopKept_; }
    bool RestartTimedOut() const { return restartTimedOut_; }
    // Why the display set-up was not run, when refuseDisplaySetUp gave a reason.
    const std::string& DisplaySetUpRefused() const { return displaySetUpRefused_; }
    const DownloadFailure& Failure() const { return failure_; }
    double ElapsedSeconds() const;

    bool FindPrinter() override { return findPrinter ? findPrinter() : RealTimeHost::FindPrinter(); }
    void DownloadFailed(const DownloadFailure& failure) override { failure_ = failure; }
    void StageEntered(DownloadStage stage) override;
    // The printer took the firmware and confirmed its sum (whatever became of the display set-up).
    bool FirmwareWritten() const { return firmwareWritten_; }
    DisplaySetUpPlan PlanDisplaySetUp() override;
    void ExchangeEnded() override {
        if (onExchangeEnded) onExchangeEnded();
    }

protected:
    void StatusChanged(const std::string& text) override;
    void ProgressChanged(int position, int maximum) override;
    void PollInput() override;

private:
    void Line(const std::string& text);
    void DrawLiveLine(const std::string& text);
    void EndLiveLine();
    void DrawTransferLine(int sent);
    void DrawTickLine();
    void WatchRestart();
    void Event(const char* name, const nlohmann::json& fields);
    void Emit(nlohmann::json event, const nlohmann::json& fields = nlohmann::json::object());
    void EmitProgress(RunProgress::Bar bar, long long position, long long maximum);
    long long ElapsedMs() const;

    OutputMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    LiveLine liveLine_;
    bool liveLineShown_ = false;
    bool stopRequested_ = false;
    bool stopKept_ = false;
    bool restartTimedOut_ = false;
    std::string displaySetUpRefused_;
    int interruptsSeen_ = 0;
    std::string lastPrinted_;
    DownloadStage stage_ = DownloadStage::None;
    bool firmwareWritten_ = false;
    bool dataStatusShown_ = false;  // the data stage's first status text was shown
    bool transferShown_ = false;    // the transfer bar was shown and has not reached its end
    DownloadFailure failure_;
    const std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point transferStart_{};
    int transferStartBytes_ = 0;
    std::chrono::steady_clock::time_point lastPlainProgress_{};
    int lastPlainPercent_ = 0;
    std::string pendingPlainProgress_;
    std::chrono::steady_clock::time_point restartStart_{};
    long long restartSecondsShown_ = -1;

    static std::atomic<int> interrupts_;
    static std::atomic<int> lastSignal_;
};
