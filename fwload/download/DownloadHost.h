// The narrow interface through which the download engine reaches its window: the status line, the
// size label, the progress bar, the Stop button, the timer, message pumping and sleeping, and the
// selected model. The Qt window, the terminal loader and the tests each implement it.
#pragma once

#include <string>

#include "DownloadFailure.h"

// Where a download stands, as a value beside the status texts that tell the user.
enum class DownloadStage { None, ModeChange, Polling, Data, WriteToMemory, Checksum, Complete, DisplaySetUp, Failed };
// "start" (None), "mode-change", "polling", "data", "write-to-memory", "checksum", "complete",
// "display-set-up", "failed": the ids scripts see.
const char* DownloadStageId(DownloadStage stage);

class DownloadHost {
public:
    virtual ~DownloadHost() = default;

    virtual std::string StatusText() const = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetSizeText(const std::string& text) = 0;

    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual int ProgressMaximum() const = 0;
    virtual void SetProgressMaximum(int maximum) = 0;

    virtual void SetStopEnabled(bool enabled) = 0;

    // Timer1: its ticks reach the engine's Timer1Timer while messages are pumped.
    virtual void SetTimerInterval(unsigned milliseconds) = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;

    // Handles the window messages pending now and returns at once.
    virtual void PumpMessages() = 0;
    // Waits until at least one message (a timer tick, a click) has arrived and handles it.
    virtual void WaitForMessages() = 0;
    // Blocks without handling messages.
    virtual void Sleep(unsigned milliseconds) = 0;

    // The model list's current text and the settings file it names a section of.
    virtual std::string SelectedModel() const = 0;
    virtual std::string SettingsFileName() const = 0;

    // Finds and opens the printer for the download; false (having told the user) when there is
    // none. The default is the window's discovery, the first card printer that opens.
    virtual bool FindPrinter();

    // After a complete exchange, before the display set-up: Run it (the window always does), Skip it
    // as the user asked, or Stop there for a stop that came while the printer could not be stopped.
    enum class DisplaySetUpPlan { Run, Skip, Stop };
    virtual DisplaySetUpPlan PlanDisplaySetUp() { return DisplaySetUpPlan::Run; }

    // The exchange with the printer's loader is over, however it ended; called once per download
    // that opened the printer, while the link is still open (before the display set-up closes it).
    virtual void ExchangeEnded() {}

    // Why the download just ended without a complete set-up; called once, as RunDownload ends. The
    // window shows all it shows through the status line and ignores this.
    virtual void DownloadFailed(const DownloadFailure& /*failure*/) {}

    // The download enters a stage; called just before the status text that announces it. The window
    // reads its status line and ignores this; a host that reports to programs uses it.
    virtual void StageEntered(DownloadStage /*stage*/) {}
};
