// The download engine's window for tests, on a virtual clock: pumping messages moves the clock on
// and delivers due timer ticks and scheduled user actions, so a 60-second wait takes microseconds.
// Records what a user would have seen, in order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "MessageBox.h"
#include "VirtualScheduler.h"

class TestHost : public DownloadHost {
public:
    explicit TestHost(VirtualClock& clock);
    ~TestHost() override;
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    void Attach(DownloadEngine& engine);
    // Runs the action when the clock reaches the given millisecond (at a pump or wait).
    void At(std::int64_t milliseconds, std::function<void()> action) { scheduler.At(milliseconds, std::move(action)); }

    // What the window shows.
    std::string status = "Status";
    std::string sizeText = "- Bytes";
    int position = 0;
    int maximum = 100;
    bool stopEnabled = false;
    std::string model;
    std::string settingsFile;
    VirtualScheduler scheduler;
    const SoftwareTimer& timer = scheduler.timer;

    // In order: "status: ...", "size: ...", "box: <caption>: <text>", "stop: on|off", "sleep: <ms>".
    std::vector<std::string> events;
    std::vector<platform::MessageBoxRequest> boxes;
    // Every progress position set, with the virtual time it was set at (ms).
    std::vector<std::pair<std::int64_t, int>> progress;
    std::vector<std::string> StatusTexts() const;
    std::vector<std::string> Boxes() const;

    // DownloadHost
    std::string StatusText() const override { return status; }
    void SetStatusText(const std::string& text) override;
    void SetSizeText(const std::string& text) override;
    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int value) override;
    int ProgressMaximum() const override { return maximum; }
    void SetProgressMaximum(int value) override { maximum = value; }
    void SetStopEnabled(bool enabled) override;
    void SetTimerInterval(unsigned milliseconds) override { scheduler.SetTimerInterval(milliseconds); }
    void SetTimerEnabled(bool enabled) override { scheduler.SetTimerEnabled(enabled); }
    void PumpMessages() override { scheduler.Pump(); }
    void WaitForMessages() override { scheduler.Wait(); }
    void Sleep(unsigned milliseconds) override;
    std::string SelectedModel() const override { return model; }
    std::string SettingsFileName() const override { return settingsFile; }
    void ExchangeEnded() override {
        events.push_back(IsCardPrinterLinkHeld() ? "exchange ended, link open" : "exchange ended, link closed");
    }

private:
    VirtualClock& clock_;
    platform::MessageBoxHandler previousHandler_;
};
