// fwload's main window in Win32: TFrmMain's controls at their pixel positions in Tahoma 8 pt, the
// window rules and the download engine behind them. Timer1 runs on the steady clock and the
// download's waits pump the window's messages (RealTimeHost), so a tick never comes early and the
// window stays live while the download runs inside the Download click.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "MainWindowRules.h"
#include "RealTimeHost.h"

class Win32FrmMain : public RealTimeHost, private MainWindowView {
public:
    // The browse dialog: the path chosen, or empty (default: a file-open dialog for *.bin).
    using Browse = std::function<std::string(HWND owner)>;

    explicit Win32FrmMain(MainWindowServices services = {}, Browse browse = nullptr);
    ~Win32FrmMain() override;
    Win32FrmMain(const Win32FrmMain&) = delete;
    Win32FrmMain& operator=(const Win32FrmMain&) = delete;

    // Creates the window and its controls, then FormCreate; the window is not shown yet.
    HWND Create(HINSTANCE instance);
    // Shows it at the centre of the screen; its first activation runs FormActivate.
    void Show();
    // Runs the message loop until the window is gone; the program's exit code.
    int RunMessageLoop();
    // What the message loop does with one message: the keys the window handles itself, else the
    // dialog navigation (Tab), else the window procedure.
    void Dispatch(MSG& message);

    DownloadEngine engine;
    HWND window = nullptr;
    HWND lblSize = nullptr;
    HWND lblProgress = nullptr;  // the status line
    HWND Label1 = nullptr;
    HWND Label4 = nullptr;
    HWND Label3 = nullptr;
    HWND Progress = nullptr;
    HWND BtnDownload = nullptr;
    HWND BtnCancel = nullptr;
    HWND BtnClose = nullptr;
    HWND edtFilename = nullptr;
    HWND edtFilenameButton = nullptr;  // the edit's browse button
    HWND cbModel = nullptr;

    const std::string& StatusTip() const { return statusTip_; }
    void BrowseClick();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(HWND control, int code);
    // FormActivate, once, and the first focus on Exit.
    void Activate();
    HWND Control(const char* windowClass, const char* text, DWORD style, int left, int top, int width, int height);
    void SetLabel(HWND label, const std::string& text);
    // Tahoma 8 pt at the window's DPI.
    HFONT MakeFont() const;
    // The window moved to a screen of another DPI: Windows' suggested frame, a font and every
    // control's place at the new scale.
    void ChangeDpi(int dpi, const RECT& suggested);

    // DownloadHost, beyond what RealTimeHost keeps.
    void SetSizeText(const std::string& text) override;
    void SetStopEnabled(bool enabled) override;
    void Sleep(unsigned milliseconds) override;
    std::string SelectedModel() const override;
    std::string SettingsFileName() const override { return rules_.Services().settingsFile; }
    void DownloadFailed(const DownloadFailure& failure) override { rules_.DownloadFailed(failure); }
    void StatusChanged(const std::string& text) override { SetLabel(lblProgress, text); }
    void ProgressChanged(int position, int maximum) override;
    void PollInput() override;

    // MainWindowView
    void FillModels(const std::vector<std::string>& models) override;
    int ModelIndex() const override;
    std::string FileText() const override;
    void SetDownloadEnabled(bool enabled) override { EnableWindow(BtnDownload, enabled); }
    void SetStatusTip(const std::string& tip) override;
    void PostClose() override { PostMessageA(window, WM_CLOSE, 0, 0); }

    MainWindowRules rules_;
    Browse browse_;
    HINSTANCE instance_ = nullptr;
    HFONT font_ = nullptr;
    HWND tooltip_ = nullptr;
    std::string statusTip_;
    int dpi_ = 96;
    struct Placement {
        HWND control;
        RECT declared;  // left, top, width, height at 96 dpi; a label's size follows its text
    };
    std::vector<Placement> placements_;
    bool activated_ = false;
    bool destroyed_ = false;
    bool blockingShutdown_ = false;  // a reason is registered for refusing the session's end
};
