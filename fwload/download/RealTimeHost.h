// A window for the download engine without a GUI: it keeps what a window would show, runs Timer1
// on the steady clock and delivers its ticks while the engine pumps. The terminal loader, the
// end-to-end tests and the benchmarks build on it; subclasses hear of status and progress. For
// tests the window's clock (Timer1 and plain sleeps) may run a number of times faster than real time.
#pragma once

#include <chrono>
#include <string>

#include "DownloadEngine.h"
#include "SoftwareTimer.h"

class RealTimeHost : public DownloadHost {
public:
    explicit RealTimeHost(int clockSpeed = 1);

    // The engine whose Timer1Timer the ticks reach.
    void Attach(DownloadEngine& engine) { engine_ = &engine; }

    std::string model;
    std::string settingsFile;
    // While a reply is awaited and nothing has arrived, each pump gives the processor up for a sliver
    // of the chip's latency instead of letting the wait ask the queue again at once (a core's worth
    // of asking per printer). The window's own loop never does: it stays as it is.
    bool yieldAwaitingReplies = false;

    const std::string& Status() const { return status_; }
    const std::string& SizeText() const { return sizeText_; }
    bool StopEnabled() const { return stopEnabled_; }

    // DownloadHost
    std::string StatusText() const override { return status_; }
    void SetStatusText(const std::string& text) override;
    void SetSizeText(const std::string& text) override;
    int ProgressPosition() const override { return position_; }
    void SetProgressPosition(int position) override;
    int ProgressMaximum() const override { return maximum_; }
    void SetProgressMaximum(int maximum) override;
    void SetStopEnabled(bool enabled) override;
    void SetTimerInterval(unsigned milliseconds) override;
    void SetTimerEnabled(bool enabled) override;
    void PumpMessages() override;
    void WaitForMessages() override;
    void Sleep(unsigned milliseconds) override;
    std::string SelectedModel() const override { return model; }
    std::string SettingsFileName() const override { return settingsFile; }

protected:
    // Notifications for subclasses; the defaults do nothing.
    virtual void StatusChanged(const std::string& /*text*/) {}
    virtual void ProgressChanged(int /*position*/, int /*maximum*/) {}
    // Called at every pump and wait, for input such as an interrupt from the terminal.
    virtual void PollInput() {}

    DownloadEngine* engine() const { return engine_; }

private:
    std::int64_t NowUs() const;
    void DeliverDueTick();

    DownloadEngine* engine_ = nullptr;
    const int clockSpeed_;
    SoftwareTimer timer_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::string status_ = "Status";
    std::string sizeText_ = "- Bytes";
    int position_ = 0;
    int maximum_ = 100;
    bool stopEnabled_ = false;
};
