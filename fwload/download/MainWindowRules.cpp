// fwload's window rules.
#include "MainWindowRules.h"

#include <exception>
#include <utility>

#include "ChosenFileName.h"
#include "D2XX_Dyn.h"
#include "FailureText.h"
#include "Files.h"
#include "MessageBox.h"
#include "ProgramPath.h"
#include "qvxFileUtils.h"

namespace {

void Notify(const char* text) { platform::ShowMessageBox("Notifications", text, platform::MessageIcon::Information); }

}  // namespace

MainWindowRules::MainWindowRules(MainWindowView& view, DownloadHost& host, DownloadEngine& engine,
                                 MainWindowServices services)
    : view_(view), host_(host), engine_(engine), services_(std::move(services)) {
    if (!services_.loadUsbLibrary) services_.loadUsbLibrary = &LoadD2XXLibrary;
    if (!services_.unloadUsbLibrary) services_.unloadUsbLibrary = &UnloadD2XXLibrary;
    if (services_.settingsFile.empty()) services_.settingsFile = platform::SettingsFileName(platform::ProgramPath());
}

void MainWindowRules::FormCreate() {
    engine_.Idle = true;
    engine_.Stage.clear();
    if (services_.loadUsbLibrary()) return;
    platform::ShowMessageBox("Error", "Usb driver not found.\r\rThis program will be closed.",
                             platform::MessageIcon::Error);
    view_.PostClose();
}

void MainWindowRules::FormActivate() {
    host_.SetProgressPosition(0);
    host_.SetStatusText(status_text::kIdle);
    std::vector<std::string> sections;
    IniReadSections(services_.settingsFile, sections);
    view_.FillModels(sections);
}

std::string MainWindowRules::ChosenFile() const { return ChosenFileName(view_.FileText()); }

void MainWindowRules::cbModelChange() {
    if (view_.ModelIndex() < 0) return;
    if (platform::FileExists(ChosenFile())) view_.SetDownloadEnabled(true);
}

void MainWindowRules::BtnDownloadClick() {
    if (!engine_.Idle) return;
    if (view_.ModelIndex() < 0) {
        Notify("Select a model.");
        return;
    }
    if (!platform::FileExists(ChosenFile())) {
        Notify("Select the firmware file.");
        return;
    }
    engine_.BeginDownload();
    view_.SetStatusTip("");
    view_.SetDownloadEnabled(false);
    try {
        engine_.RunDownload(ChosenFile());
    } catch (const std::exception& error) {
        // Nothing may escape into the window's event handling: tell the user and return to Ready.
        engine_.CloseFirmwareFile();
        CloseCardPrinter();
        platform::ShowMessageBox("Error", error.what(), platform::MessageIcon::Error);
    }
    view_.SetDownloadEnabled(true);
    engine_.EndDownload();
}

void MainWindowRules::FormDestroy() {
    engine_.CloseFirmwareFile();
    services_.unloadUsbLibrary();
}

void MainWindowRules::DownloadFailed(const DownloadFailure& failure) {
    const std::string before = failure.stage == DownloadFailure::Stage::DisplaySetUp ? kDisplayNotSetUp : "";
    view_.SetStatusTip(before + DescribeFailure(failure));
}
