// The tools' Win32 dialog machinery.
#include "Win32ToolDialog.h"

#include <commctrl.h>

#include "DynamicLibrary.h"
#include "Win32MessageBox.h"

namespace {

// The dialog whose modal loop the key filter watches (one per thread, as one dialog runs at a time).
thread_local Win32ToolDialog* filtered = nullptr;

// The DPI the dialog was made for: its monitor's on Windows 10, the screen's before.
int DpiOf(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    const auto get = reinterpret_cast<GetDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (get != nullptr && get(window) != 0) return static_cast<int>(get(window));
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Windows 10 (1703 on) rescales a template's dialog on its own when its DPI changes; the dialog does
// that itself, on every version, so Windows is told to keep out.
void KeepWindowsFromRescaling(HWND dialog) {
    using SetBehavior = BOOL(WINAPI*)(HWND, int, int);
    constexpr int kDisableAll = 0x0001;  // DDC_DISABLE_ALL
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    const auto set = reinterpret_cast<SetBehavior>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetDialogDpiChangeBehavior")));
    if (set != nullptr) set(dialog, kDisableAll, kDisableAll);
}

BOOL CALLBACK RememberPlacement(HWND control, LPARAM parameter) {
    auto* placements = reinterpret_cast<std::vector<std::pair<HWND, RECT>>*>(parameter);
    if (GetParent(control) != GetAncestor(control, GA_ROOT)) return TRUE;  // a combo box's own edit
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    // A combo box's template height is that of the box with its list dropped.
    RECT dropped;
    if (SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)) != 0 &&
        dropped.bottom > dropped.top) {
        MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&dropped), 2);
        rect.bottom = dropped.bottom;
    }
    placements->push_back({control, {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}});
    return TRUE;
}

bool IsEnterOrEscape(const MSG& message) {
    return (message.message == WM_KEYDOWN || message.message == WM_CHAR) &&
           (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE);
}

}  // namespace

Win32ToolDialog::~Win32ToolDialog() {
    if (keyHook_ != nullptr) UnhookWindowsHookEx(keyHook_);
    if (window_ != nullptr) DestroyWindow(window_);
    if (scaledFont_ != nullptr) DeleteObject(scaledFont_);
}

INT_PTR Win32ToolDialog::Run(HINSTANCE resources) {
    resources_ = resources;
    if (keys_ == Keys::Swallowed) {
        // Enter and Escape are taken from the dialog's loop before it acts on them.
        filtered = this;
        keyHook_ = SetWindowsHookExA(WH_MSGFILTER, &KeyFilter, nullptr, GetCurrentThreadId());
    }
    const INT_PTR result = DialogBoxParamA(resources, MAKEINTRESOURCEA(kTemplate), nullptr, &Procedure,
                                           reinterpret_cast<LPARAM>(this));
    if (keyHook_ != nullptr) UnhookWindowsHookEx(keyHook_);
    keyHook_ = nullptr;
    filtered = nullptr;
    window_ = nullptr;
    return result;
}

HWND Win32ToolDialog::Create(HINSTANCE resources) {
    resources_ = resources;
    return CreateDialogParamA(resources, MAKEINTRESOURCEA(kTemplate), nullptr, &Procedure,
                              reinterpret_cast<LPARAM>(this));
}

LRESULT CALLBACK Win32ToolDialog::KeyFilter(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && filtered != nullptr && IsEnterOrEscape(*message) &&
        GetAncestor(message->hwnd, GA_ROOT) == filtered->window_) {
        return TRUE;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK Win32ToolDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<Win32ToolDialog*>(lParam)->window_ = window;
    }
    auto* dialog = reinterpret_cast<Win32ToolDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    return dialog != nullptr ? dialog->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32ToolDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            icon_ = LoadIconA(resources_, MAKEINTRESOURCEA(kIcon));
            SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
            SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
            RememberLayout();
            OnInit();
            return TRUE;
        case WM_DPICHANGED:
            ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                EndDialog(window_, id);
            } else if (code == CBN_EDITCHANGE) {
                typedOver_[id] = true;
            } else if (code == CBN_SELCHANGE) {
                typedOver_[id] = false;
            } else if (code == BN_CLICKED && lParam != 0) {
                OnButton(id);
            }
            return TRUE;
        }
        case WM_PAINT:
            if (!IsIconic(window_)) return FALSE;
            Paint();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        default:
            return FALSE;
    }
}

// Minimised, the dialog shows its icon centred in the client area.
void Win32ToolDialog::Paint() {
    PAINTSTRUCT paint;
    const HDC context = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(context, x, y, icon_);
    EndPaint(window_, &paint);
}

void Win32ToolDialog::RememberLayout() {
    KeepWindowsFromRescaling(window_);
    createdDpi_ = DpiOf(window_);
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window_, WM_GETFONT, 0, 0)), sizeof createdFont_, &createdFont_);
    std::vector<std::pair<HWND, RECT>> found;
    EnumChildWindows(window_, &RememberPlacement, reinterpret_cast<LPARAM>(&found));
    placements_.clear();
    for (const auto& [control, rect] : found) placements_.push_back({control, rect});
}

// The template's layout and font at the new scale, in the frame Windows suggests.
void Win32ToolDialog::ChangeDpi(int dpi, const RECT& suggested) {
    const auto scale = [this, dpi](int value) { return MulDiv(value, dpi, createdDpi_); };
    LOGFONTA font = createdFont_;
    font.lfHeight = scale(font.lfHeight);
    font.lfWidth = scale(font.lfWidth);
    const HFONT previous = scaledFont_;
    scaledFont_ = CreateFontIndirectA(&font);
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(scaledFont_), FALSE);
    for (const Placement& placement : placements_) {
        const RECT& at = placement.created;
        SendMessageA(placement.control, WM_SETFONT, reinterpret_cast<WPARAM>(scaledFont_), FALSE);
        SetWindowPos(placement.control, nullptr, scale(at.left), scale(at.top), scale(at.right), scale(at.bottom),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (previous != nullptr) DeleteObject(previous);
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32ToolDialog::SetText(int id, const std::string& text) { SetDlgItemTextA(window_, id, text.c_str()); }

void Win32ToolDialog::AddItem(int id, const std::string& text) {
    SendDlgItemMessageA(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32ToolDialog::Select(int id, int index) {
    SendDlgItemMessageA(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    typedOver_[id] = false;
}

int Win32ToolDialog::Selection(int id) const {
    const auto it = typedOver_.find(id);
    if (it != typedOver_.end() && it->second) return -1;
    return static_cast<int>(SendDlgItemMessageA(window_, id, CB_GETCURSEL, 0, 0));
}

void Win32ToolDialog::AppendLog(const std::string& line) {
    const HWND log = GetDlgItem(window_, logId_);
    // The caret to the end (positions past it are clamped), the line in its place, then the end shown.
    SendMessageA(log, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
    SendMessageA(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(log, WM_VSCROLL, SB_BOTTOM, 0);
}

int RunWin32Tool(Win32ToolDialog& dialog, HINSTANCE instance) {
    platform::RestrictLibrarySearch();
    LoadLibraryA("Riched20.dll");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    platform::InstallWin32MessageBoxes();
    dialog.Run(instance);
    return 0;
}
