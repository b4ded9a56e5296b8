// A service tool's Win32 dialog: template 102 from the program's resources, icon 128, run modally
// with DialogBoxParam, and the view the tool's sequences drive (SetDlgItemText, the combo box's
// messages, the rich edit log box).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ToolView.h"

class Win32ToolDialog : public ToolView {
public:
    enum class Keys { Swallowed, Dialog };  // Enter and Escape: eaten, or the dialog's own behaviour
    static constexpr int kTemplate = 102;
    static constexpr int kIcon = 128;

    Win32ToolDialog(int logId, Keys keys) : logId_(logId), keys_(keys) {}
    virtual ~Win32ToolDialog();
    Win32ToolDialog(const Win32ToolDialog&) = delete;
    Win32ToolDialog& operator=(const Win32ToolDialog&) = delete;

    // Runs the dialog modally from the module's template; returns how it ended (IDOK, IDCANCEL).
    INT_PTR Run(HINSTANCE resources);
    // Creates it without a modal loop (for tests); the window, or null.
    HWND Create(HINSTANCE resources);
    HWND Window() const { return window_; }

    void SetText(int id, const std::string& text) override;
    void AddItem(int id, const std::string& text) override;
    void Select(int id, int index) override;
    int Selection(int id) const override;
    void AppendLog(const std::string& line) override;

protected:
    // Closes the dialog as accepted or cancelled.
    void End(INT_PTR result) { EndDialog(window_, result); }
    // Dialog initialisation, after the icon is set.
    virtual void OnInit() = 0;
    // A push button was clicked.
    virtual void OnButton(int id) = 0;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK KeyFilter(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void RememberLayout();
    void ChangeDpi(int dpi, const RECT& suggested);

    int logId_;
    Keys keys_;
    HWND window_ = nullptr;
    HINSTANCE resources_ = nullptr;
    HICON icon_ = nullptr;
    HHOOK keyHook_ = nullptr;
    std::map<int, bool> typedOver_;  // per combo box
    // Each control where the dialog manager placed it from the template (left, top, width, height in
    // client pixels at createdDpi_; a combo box with its list), and the font it gave them.
    struct Placement {
        HWND control;
        RECT created;
    };
    std::vector<Placement> placements_;
    int createdDpi_ = 96;
    LOGFONTA createdFont_{};
    HFONT scaledFont_ = nullptr;
};

// A tool's program: rich edit support, Win32 message boxes, the dialog run modally; 0 when it ends.
int RunWin32Tool(Win32ToolDialog& dialog, HINSTANCE instance);
