// The download engine's window for tests, on a virtual clock: pumping messages moves the clock on
// and delivers due timer ticks and scheduled user actions, so a 60-second wait takes microseconds.
// Records what a user would have seen, in order.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "DownloadEngine.h"
#include "MessageBox.h"
#include "SoftwareTimer.h"
#include "VirtualClock.h"

class TestHost : public DownloadHost {
public:
    explicit TestHost(VirtualClock& clock);
    ~TestHost() override;
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    void Attach(DownloadEngine& engine) { engine_ = &engine; }
    // Runs the action when the clock reaches the given millisecond (at a pump, wait or sleep end).
    void At(std::int64_t milliseconds, std::function<void()> action);

    // What the window shows.
    std::string status = "Status";
    std::string sizeText = "- Bytes";
    int position = 0;
    int maximum = 100;
    bool stopEnabled = false;
    std::string model;
    std::string settingsFile;
    SoftwareTimer timer;

    // In order: "status: ...", "size: ...", "box: <caption>: <text>", "stop: on|off", "sleep: <ms>".
    std::vector<std::string> events;
    std::vector<platform::MessageBoxRequest> boxes;
    // Every progress position set, with the virtual time it was set at (ms).
    std::vector<std::pair<std::int64_t, int>> progress;
    // How far the clock moves at each pump.
    std::int64_t pumpStepUs = 1000;

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
    void SetTimerInterval(unsigned milliseconds) override { timer.SetInterval(milliseconds, clock_.NowUs()); }
    void SetTimerEnabled(bool enabled) override { timer.SetEnabled(enabled, clock_.NowUs()); }
    void PumpMessages() override;
    void WaitForMessages() override;
    void Sleep(unsigned milliseconds) override;
    std::string SelectedModel() const override { return model; }
    std::string SettingsFileName() const override { return settingsFile; }

private:
    void DeliverDue();

    VirtualClock& clock_;
    DownloadEngine* engine_ = nullptr;
    std::multimap<std::int64_t, std::function<void()>> actions_;
    platform::MessageBoxHandler previousHandler_;
};
