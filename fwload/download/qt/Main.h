// fwload's main window: a technician picks a printer model and a firmware file, then starts,
// watches and stops the download. The window holds the download's shared state (in its engine)
// and is the engine's DownloadHost; the download runs inside the Download click and keeps the
// window live by pumping its messages while it waits.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DownloadEngine.h"
#include "MainWindowRules.h"
#include "WindowClock.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

// What the window takes from its surroundings; the defaults are the real ones.
struct TFrmMainServices : MainWindowServices {
    std::function<QString(QWidget*)> browseForFile;  // default: a file-open dialog for *.bin
    WindowClock* clock = nullptr;             // default: Qt's timer and event loop
};

class TFrmMain : public QWidget, private DownloadHost, private MainWindowView {
public:
    explicit TFrmMain(TFrmMainServices services = {}, QWidget* parent = nullptr);
    ~TFrmMain() override;
    TFrmMain(const TFrmMain&) = delete;
    TFrmMain& operator=(const TFrmMain&) = delete;

    // Controls, in the order the window declares them.
    QLabel* lblSize;
    QLabel* lblProgress;  // the status line
    QLabel* Label1;
    QLabel* Label4;
    QLabel* Label3;
    QProgressBar* Progress;
    QPushButton* BtnDownload;
    QPushButton* BtnCancel;
    QPushButton* BtnClose;
    QLineEdit* edtFilename;
    QToolButton* edtFilenameButton;  // the edit's browse button
    QComboBox* cbModel;
    QTimer* Timer1;

    // The download and the state it shares with the window (Idle, StopFlag, Stage, ...).
    DownloadEngine engine;

    // Handlers.
    void FormCreate() { rules_.FormCreate(); }
    void FormActivate() { rules_.FormActivate(); }
    void cbModelChange() { rules_.cbModelChange(); }
    void BtnDownloadClick() { rules_.BtnDownloadClick(); }
    void BtnCancelClick() { engine.BtnCancelClick(); }
    void BtnCloseClick();
    void Timer1Timer() { engine.Timer1Timer(); }
    void FormDestroy() { rules_.FormDestroy(); }
    void BrowseClick();
    // Puts a path chosen in the browse dialog into the edit, in double quotes when it holds a
    // blank and does not already begin with one.
    void ApplyBrowsedFile(const QString& path);

    // The chosen file name, derived from the edit's text now.
    std::string ChosenFile() const { return rules_.ChosenFile(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    // DownloadHost
    std::string StatusText() const override;
    void SetStatusText(const std::string& text) override;
    void SetSizeText(const std::string& text) override;
    int ProgressPosition() const override { return position_; }
    void SetProgressPosition(int position) override;
    int ProgressMaximum() const override { return maximum_; }
    void SetProgressMaximum(int maximum) override;
    void SetStopEnabled(bool enabled) override;
    void SetTimerInterval(unsigned milliseconds) override { clock_->SetTimerInterval(milliseconds); }
    void SetTimerEnabled(bool enabled) override { clock_->SetTimerEnabled(enabled); }
    void PumpMessages() override { clock_->PumpMessages(); }
    void WaitForMessages() override { clock_->WaitForMessages(); }
    // Paints the status line (and nothing else) first, so a text set just before stays visible.
    void Sleep(unsigned milliseconds) override;
    std::string SelectedModel() const override;
    std::string SettingsFileName() const override { return rules_.Services().settingsFile; }
    // The status line's tooltip says why, in the words fwload-cli uses; its text stays as it is.
    void DownloadFailed(const DownloadFailure& failure) override { rules_.DownloadFailed(failure); }

    // MainWindowView
    void FillModels(const std::vector<std::string>& models) override;
    int ModelIndex() const override;
    std::string FileText() const override;
    void SetDownloadEnabled(bool enabled) override;
    void SetStatusTip(const std::string& tip) override;
    void PostClose() override;

    void CreateControls();
    void ShowProgress();

    TFrmMainServices services_;
    MainWindowRules rules_;
    std::unique_ptr<WindowClock> ownClock_;
    WindowClock* clock_ = nullptr;
    int position_ = 50;
    int maximum_ = 100;
    bool activated_ = false;
};

// The program's one main window.
extern TFrmMain* FrmMain;
