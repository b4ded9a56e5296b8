// fwload's main window in Win32.
#include "Win32FrmMain.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "ChosenFileName.h"

namespace {

constexpr char kWindowClass[] = "TFrmMain";
constexpr int kClientWidth = 405;
constexpr int kClientHeight = 200;
constexpr int kBrowseWidth = 21;
constexpr int kModelListHeight = 200;  // the drop-down list's height below the box

std::string DefaultBrowse(HWND owner) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "Binary files (*.bin)\0*.bin\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&dialog) ? path : "";
}

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

Win32FrmMain::Win32FrmMain(MainWindowServices services, Browse browse)
    : engine(*this), rules_(*this, *this, engine, std::move(services)), browse_(std::move(browse)) {
    Attach(engine);
    if (!browse_) browse_ = &DefaultBrowse;
}

Win32FrmMain::~Win32FrmMain() {
    if (window != nullptr) DestroyWindow(window);
    if (font_ != nullptr) DeleteObject(font_);
}

HWND Win32FrmMain::Create(HINSTANCE instance) {
    instance_ = instance;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    RegisterClassExA(&windowClass);

    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    // Pixel positions are those of a 96-dpi screen; on a denser one everything grows alike.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT frame{0, 0, MulDiv(kClientWidth, dpi_, 96), MulDiv(kClientHeight, dpi_, 96)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    window = CreateWindowExA(WS_EX_CONTROLPARENT, kWindowClass, "Card Printer Firmware Download Program", style,
                             CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                             nullptr, instance, this);
    if (window == nullptr) return nullptr;
    font_ = MakeFont();

    // In the order the window declares them; the tab stops follow that order.
    const DWORD label = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    lblSize = Control("STATIC", "- Bytes", label, 72, 74, 0, 0);
    lblProgress = Control("STATIC", "Status", label | SS_NOTIFY, 16, 102, 0, 0);
    Label1 = Control("STATIC", "File Name", label, 16, 46, 0, 0);
    Label4 = Control("STATIC", "File Size", label, 16, 74, 0, 0);
    Label3 = Control("STATIC", "Model", label, 16, 16, 0, 0);
    Progress = Control(PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 16, 121, 372, 17);
    SendMessageA(Progress, PBM_SETRANGE32, 0, 100);
    SendMessageA(Progress, PBM_SETPOS, 50, 0);
    BtnDownload = Control("BUTTON", "Download", button | WS_DISABLED, 120, 159, 78, 25);
    BtnCancel = Control("BUTTON", "Stop", button | WS_DISABLED, 199, 159, 78, 25);
    BtnClose = Control("BUTTON", "Exit", button, 310, 159, 78, 25);
    edtFilename = Control("EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 72, 43,
                          316 - kBrowseWidth, 21);
    edtFilenameButton = Control("BUTTON", "...", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 72 + 316 - kBrowseWidth, 43,
                                kBrowseWidth, 21);
    cbModel = Control("COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 72, 13, 316,
                      21 + kModelListHeight);
    for (HWND control : {lblSize, lblProgress, Label1, Label4, Label3}) SetLabel(control, WindowText(control));

    tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance_, nullptr);
    rules_.FormCreate();
    return window;
}

HWND Win32FrmMain::Control(const char* windowClass, const char* text, DWORD style, int left, int top, int width,
                           int height) {
    const auto scale = [this](int value) { return MulDiv(value, dpi_, 96); };
    const HWND control = CreateWindowExA(0, windowClass, text, style, scale(left), scale(top), scale(width),
                                         scale(height), window, nullptr, instance_, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    placements_.push_back({control, {left, top, width, height}});
    return control;
}

HFONT Win32FrmMain::MakeFont() const {
    return CreateFontA(-MulDiv(8, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
}

void Win32FrmMain::ChangeDpi(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    const HFONT previous = font_;
    font_ = MakeFont();
    const auto scale = [this](int value) { return MulDiv(value, dpi_, 96); };
    for (const Placement& placement : placements_) {
        const RECT& at = placement.declared;
        SendMessageA(placement.control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        SetWindowPos(placement.control, nullptr, scale(at.left), scale(at.top), scale(at.right), scale(at.bottom),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (HWND label : {lblSize, lblProgress, Label1, Label4, Label3}) SetLabel(label, WindowText(label));
    DeleteObject(previous);
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
}

// A label is as large as its text, as the window's labels size themselves. The size comes first and
// the whole label is painted anew: a text set first is drawn clipped to the old size, and a resize
// repaints only the strip it adds, so part of a letter would stay missing.
void Win32FrmMain::SetLabel(HWND label, const std::string& text) {
    const HDC context = GetDC(label);
    const HGDIOBJ previous = SelectObject(context, font_);
    SIZE size{};
    GetTextExtentPoint32A(context, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(context, previous);
    ReleaseDC(label, context);
    SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextA(label, text.c_str());
    InvalidateRect(label, nullptr, TRUE);
    InvalidateRect(window, nullptr, TRUE);  // what a shorter text uncovers
}

void Win32FrmMain::Show() {
    RECT frame;
    GetWindowRect(window, &frame);
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
    // Activation fills the model list; a window that comes up without being activated (another
    // program holds the foreground) is filled on being shown all the same.
    if (!activated_) Activate();
    UpdateWindow(window);
}

void Win32FrmMain::Activate() {
    activated_ = true;
    rules_.FormActivate();
    SetFocus(BtnClose);
}

int Win32FrmMain::RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) Dispatch(message);
    return 0;
}

void Win32FrmMain::Dispatch(MSG& message) {
    const HWND focus = GetFocus();
    // Enter presses the focused push button, as in any Windows dialog.
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
        (focus == BtnDownload || focus == BtnCancel || focus == BtnClose)) {
        if ((message.lParam & (1 << 30)) == 0) SendMessageA(focus, BM_CLICK, 0, 0);  // not on auto-repeat
        return;
    }
    // Alt+Down, which arrives as a system key, browses from the file edit.
    if (message.message == WM_SYSKEYDOWN && message.wParam == VK_DOWN && focus == edtFilename) {
        BrowseClick();
        return;
    }
    if (window != nullptr && IsDialogMessageA(window, &message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void Win32FrmMain::PollInput() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that runs after the download
            return;
        }
        Dispatch(message);
    }
}

LRESULT CALLBACK Win32FrmMain::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Win32FrmMain*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->window = window;
    }
    auto* form = reinterpret_cast<Win32FrmMain*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return form != nullptr ? form->Handle(message, wParam, lParam) : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Win32FrmMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !activated_) {
                Activate();
                return 0;
            }
            break;
        case WM_COMMAND:
            OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            // FormClose: refused while a download runs.
            if (rules_.MayClose()) DestroyWindow(window);
            return 0;
        case WM_DPICHANGED:
            ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_QUERYENDSESSION:
            // A logoff or an update's restart would cut the printer's power mid-write: refused too.
            return rules_.MayClose() ? TRUE : FALSE;
        case WM_DESTROY:
            if (!destroyed_) {
                destroyed_ = true;
                rules_.FormDestroy();
            }
            window = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Win32FrmMain::OnCommand(HWND control, int code) {
    if (code == BN_CLICKED) {
        if (control == BtnDownload) {
            rules_.BtnDownloadClick();
            if (blockingShutdown_) blockingShutdown_ = !ShutdownBlockReasonDestroy(window);
        }
        if (control == BtnCancel) engine.BtnCancelClick();
        if (control == BtnClose) SendMessageA(window, WM_CLOSE, 0, 0);
        if (control == edtFilenameButton) BrowseClick();
    }
    if ((control == cbModel && code == CBN_SELCHANGE) || (control == edtFilename && code == EN_CHANGE)) {
        rules_.cbModelChange();
    }
}

void Win32FrmMain::BrowseClick() {
    const std::string path = browse_(window);
    if (path.empty()) return;
    const bool quote = path.find(' ') != std::string::npos && path.front() != '"';
    SetWindowTextA(edtFilename, (quote ? "\"" + path + "\"" : path).c_str());
}

void Win32FrmMain::SetSizeText(const std::string& text) {
    RealTimeHost::SetSizeText(text);
    SetLabel(lblSize, text);
}

void Win32FrmMain::SetStopEnabled(bool enabled) {
    RealTimeHost::SetStopEnabled(enabled);
    EnableWindow(BtnCancel, enabled);
    // Stop comes on first as a download begins: from then until it ends, Windows shows why the
    // session may not end now.
    if (enabled && !engine.Idle && !blockingShutdown_) {
        blockingShutdown_ = ShutdownBlockReasonCreate(
                                window, L"Firmware download in progress; the printer must not lose power.") != FALSE;
    }
}

void Win32FrmMain::Sleep(unsigned milliseconds) {
    UpdateWindow(lblProgress);  // a text set just before stays visible while the window sleeps
    // The sleep keeps its meaning: no click, key, tick or sent message acts during it. But in steps
    // the window paints what needs painting, and so also shows Windows that it is not hung.
    constexpr unsigned kStepMs = 100;
    for (unsigned slept = 0; slept < milliseconds; slept += kStepMs) {
        RealTimeHost::Sleep(std::min(kStepMs, milliseconds - slept));
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT)) DispatchMessageA(&message);
    }
}

void Win32FrmMain::ProgressChanged(int position, int maximum) {
    // The bar shows the position within its range; a range of nothing shows an empty bar.
    SendMessageA(Progress, PBM_SETRANGE32, 0, maximum > 0 ? maximum : 1);
    SendMessageA(Progress, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, std::max(maximum, 0))), 0);
}

std::string Win32FrmMain::SelectedModel() const {
    const auto index = static_cast<int>(SendMessageA(cbModel, CB_GETCURSEL, 0, 0));
    if (index < 0) return "";
    std::string text(static_cast<std::size_t>(SendMessageA(cbModel, CB_GETLBTEXTLEN, index, 0)) + 1, '\0');
    SendMessageA(cbModel, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.c_str();
}

void Win32FrmMain::FillModels(const std::vector<std::string>& models) {
    SendMessageA(cbModel, CB_RESETCONTENT, 0, 0);
    for (const std::string& model : models) SendMessageA(cbModel, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model.c_str()));
    SendMessageA(cbModel, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int Win32FrmMain::ModelIndex() const { return static_cast<int>(SendMessageA(cbModel, CB_GETCURSEL, 0, 0)); }

std::string Win32FrmMain::FileText() const { return WindowText(edtFilename); }

void Win32FrmMain::SetStatusTip(const std::string& tip) {
    statusTip_ = tip;
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(lblProgress);
    tool.lpszText = statusTip_.data();
    SendMessageA(tooltip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!tip.empty()) SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}
