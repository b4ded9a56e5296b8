// fwload's window rules, without a toolkit: what happens at start, on activation, on each change
// of the model or the file name, on a Download click, on a close request and at the end. The Qt
// and the Win32 windows are views of them, and the engine's host.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "DownloadEngine.h"

// What the window takes from its surroundings; empty members get the real ones.
struct MainWindowServices {
    std::function<bool()> loadUsbLibrary;    // LoadD2XXLibrary
    std::function<void()> unloadUsbLibrary;  // UnloadD2XXLibrary
    std::string settingsFile;                // the program's path with ".ini"
};

// What the rules need of the window's controls beyond the engine's host.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    // Fills the model list, nothing selected, without running the enabling check.
    virtual void FillModels(const std::vector<std::string>& models) = 0;
    virtual int ModelIndex() const = 0;  // -1: none selected
    virtual std::string FileText() const = 0;
    virtual void SetDownloadEnabled(bool enabled) = 0;
    // The status line's tooltip: why the last download failed; its text stays as it is.
    virtual void SetStatusTip(const std::string& tip) = 0;
    // Asks the window to close once its message loop runs.
    virtual void PostClose() = 0;
};

class MainWindowRules {
public:
    MainWindowRules(MainWindowView& view, DownloadHost& host, DownloadEngine& engine, MainWindowServices services);

    const MainWindowServices& Services() const { return services_; }

    // Binds the USB library; without it, says so and closes the window.
    void FormCreate();
    // Progress 0, "Status", the model list from the settings file.
    void FormActivate();
    // The enabling check: a model selected and an existing file named enable Download.
    void cbModelChange();
    void BtnDownloadClick();
    // A close request is refused while a download runs.
    bool MayClose() const { return engine_.Idle; }
    void FormDestroy();
    void DownloadFailed(const DownloadFailure& failure);
    // The chosen file name, derived from the file edit's text now.
    std::string ChosenFile() const;

private:
    MainWindowView& view_;
    DownloadHost& host_;
    DownloadEngine& engine_;
    MainWindowServices services_;
};
