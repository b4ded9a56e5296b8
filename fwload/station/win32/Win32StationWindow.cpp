// The station window in Win32.
#include "Win32StationWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <functional>

#include "MessageBox.h"
#include "ProgramPath.h"
#include "Terminal.h"
#include "VisibleText.h"
#include "qvxFileUtils.h"
#include "qvxStrUtils.h"

namespace {

constexpr wchar_t kWindowClass[] = L"CardPrinterStation";
constexpr wchar_t kTileClass[] = L"CardPrinterStationTile";
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;  // the tiles are redrawn at most this often

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return L"";
    std::wstring wide(static_cast<std::size_t>(
                          MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

// What a device or a file hands us, made safe to show.
std::wstring Shown(const std::string& system) { return Wide(VisibleText(platform::SystemTextToUtf8(system))); }

// A control's text in the system's code page, as the files and settings are named.
std::string SystemText(HWND control) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

COLORREF Colour(unsigned rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

COLORREF Lighter(COLORREF colour) {
    const auto half = [](int value) { return value + (255 - value) / 2; };
    return RGB(half(GetRValue(colour)), half(GetGValue(colour)), half(GetBValue(colour)));
}

HFONT MakeFont(int pixels, bool bold) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

// The largest font from `from` pixels down to `least` in which the text fits, selected into the
// context; the caller deletes it.
HFONT LargestFitting(HDC context, int from, int least, bool bold, const std::function<bool()>& fits) {
    HFONT font = nullptr;
    for (int size = from; size >= least; --size) {
        if (font != nullptr) DeleteObject(font);
        font = MakeFont(size, bold);
        SelectObject(context, font);
        if (fits()) break;
    }
    return font;
}

int TextWidth(HDC context, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void Frame(HDC context, RECT rect, int width, COLORREF colour) {
    const HBRUSH brush = CreateSolidBrush(colour);
    for (int i = 0; i < width; ++i) {
        FrameRect(context, &rect, brush);
        InflateRect(&rect, -1, -1);
    }
    DeleteObject(brush);
}

void Fill(HDC context, const RECT& rect, COLORREF colour) {
    const HBRUSH brush = CreateSolidBrush(colour);
    FillRect(context, &rect, brush);
    DeleteObject(brush);
}

BOOL CALLBACK SetFontOf(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

std::string DefaultBrowse(HWND owner) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "Firmware files (*.bin)\0*.bin\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&dialog) ? path : "";
}

}  // namespace

Win32StationWindow::Win32StationWindow(StationOptions options, Services services)
    : options_(std::move(options)),
      services_(std::move(services)),
      locked_(!options_.sha256.empty()),
      controller_(services_.workerProgram.empty() ? platform::ProgramBeside("fwload-cli") : services_.workerProgram) {
    if (!services_.browseForFile) services_.browseForFile = &DefaultBrowse;
    if (!services_.confirm) {
        services_.confirm = [](HWND owner, const std::string& question) {
            return MessageBoxW(owner, Wide(question).c_str(), Wide(kStationCaption).c_str(),
                               MB_YESNO | MB_ICONQUESTION) == IDYES;
        };
    }
    controller_.onEvent = [this](const std::string& line) { Say(line); };
}

Win32StationWindow::~Win32StationWindow() {
    if (window != nullptr) DestroyWindow(window);
    if (font_ != nullptr) DeleteObject(font_);
    if (large_ != nullptr) DeleteObject(large_);
}

HWND Win32StationWindow::Create(HINSTANCE instance) {
    instance_ = instance;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    RegisterClassExW(&windowClass);
    WNDCLASSEXW tileClass{};
    tileClass.cbSize = sizeof tileClass;
    tileClass.lpfnWndProc = &TileProcedure;
    tileClass.hInstance = instance;
    tileClass.hCursor = LoadCursor(nullptr, IDC_HAND);
    tileClass.lpszClassName = kTileClass;
    RegisterClassExW(&tileClass);

    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    font_ = MakeFont(Scale(15), false);
    large_ = MakeFont(Scale(24), true);
    window = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, Wide(kStationCaption).c_str(),
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, Scale(1280),
                             Scale(800), nullptr, nullptr, instance, this);
    if (window == nullptr) return nullptr;

    const DWORD label = WS_CHILD | SS_LEFT | SS_NOPREFIX;
    const DWORD button = WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD edit = WS_CHILD | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    setUpControls_ = {Control(L"STATIC", "Set the job up: the model, the firmware file and who runs the line.", label),
                      Control(L"STATIC", "Model", label), Control(L"STATIC", "Firmware file", label),
                      Control(L"STATIC", "Operator", label), Control(L"STATIC", "To confirm", label)};
    model = Control(L"COMBOBOX", "", WS_CHILD | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
    file = Control(L"EDIT", "", edit);
    SetWindowTextA(file, options_.firmware.c_str());
    browse = Control(L"BUTTON", "Browse...", button);
    operatorName = Control(L"EDIT", "", edit);
    SetWindowTextA(operatorName, options_.operatorName.c_str());
    facts = Control(L"STATIC", "", label);
    start = Control(L"BUTTON", "Start", button | BS_DEFPUSHBUTTON);
    setUpControls_.insert(setUpControls_.end(), {model, file, browse, operatorName, facts, start});
    job = Control(L"STATIC", "", label);
    sha256 = Control(L"STATIC", "", label | SS_NOTIFY);
    tally = Control(L"STATIC", "", label);
    SendMessageW(tally, WM_SETFONT, reinterpret_cast<WPARAM>(large_), FALSE);
    retry = Control(L"BUTTON", "Retry", button);
    stopAll = Control(L"BUTTON", "Stop all", button);
    changeJob = Control(L"BUTTON", "Change job", button);
    events = Control(L"EDIT", "", WS_CHILD | WS_VSCROLL | WS_BORDER | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL);
    SendMessageW(events, EM_SETLIMITTEXT, 1 << 20, 0);
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance_, nullptr);
    stationControls_ = {job, sha256, tally, retry, stopAll, events};
    if (!locked_) stationControls_.push_back(changeJob);
    // With --sha256 the job is the one the line released: what the command line gave stays.
    EnableWindow(model, !(locked_ && !options_.model.empty()));
    EnableWindow(file, !(locked_ && !options_.firmware.empty()));
    EnableWindow(browse, IsWindowEnabled(file));
    FillModels();
    CheckFile();
    ShowPage(false);
    return window;
}

HWND Win32StationWindow::Control(const wchar_t* windowClass, const std::string& text, DWORD style) {
    const HWND control =
        CreateWindowExW(0, windowClass, Wide(text).c_str(), style, 0, 0, 10, 10, window, nullptr, instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void Win32StationWindow::Show() {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

int Win32StationWindow::RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
    return static_cast<int>(message.wParam);
}

void Win32StationWindow::Dispatch(MSG& message) {
    const bool onTiles = message.hwnd == window || std::find(tiles.begin(), tiles.end(), message.hwnd) != tiles.end();
    if (message.message == WM_KEYDOWN && onTiles && controller_.Started()) {
        const int columns = TileColumns(tiles.size());
        switch (message.wParam) {
            case VK_LEFT: Select(selected_ - 1); return;
            case VK_RIGHT: Select(selected_ + 1); return;
            case VK_UP: Select(selected_ - columns); return;
            case VK_DOWN: Select(selected_ + columns); return;
            case VK_RETURN:
                controller_.Retry(selected_);
                Poll();
                return;
            default: break;
        }
    }
    if (!IsDialogMessageW(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32StationWindow::ShowPage(bool station) {
    for (HWND control : setUpControls_) ShowWindow(control, station ? SW_HIDE : SW_SHOW);
    for (HWND control : stationControls_) ShowWindow(control, station ? SW_SHOW : SW_HIDE);
    for (HWND tile : tiles) ShowWindow(tile, station ? SW_SHOW : SW_HIDE);
    if (!station) ShowWindow(changeJob, SW_HIDE);
    LayOut();
}

void Win32StationWindow::LayOut() {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    const int row = Scale(34);
    const auto place = [](HWND control, int left, int top, int w, int h) {
        SetWindowPos(control, nullptr, left, top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    // The set-up panel: labels in a column, the fields beside them.
    const int labelWidth = Scale(130);
    const int fieldLeft = Scale(16) + labelWidth;
    const int fieldWidth = std::max(Scale(200), width - fieldLeft - Scale(140));
    place(setUpControls_[0], Scale(16), Scale(16), width - Scale(32), Scale(22));
    for (int i = 1; i <= 4; ++i)
        place(setUpControls_[static_cast<std::size_t>(i)], Scale(16), Scale(16) + i * row + Scale(4), labelWidth,
              Scale(22));
    place(model, fieldLeft, Scale(16) + row, fieldWidth, Scale(240));
    place(file, fieldLeft, Scale(16) + 2 * row, fieldWidth - Scale(110), Scale(26));
    place(browse, fieldLeft + fieldWidth - Scale(100), Scale(16) + 2 * row, Scale(100), Scale(26));
    place(operatorName, fieldLeft, Scale(16) + 3 * row, fieldWidth, Scale(26));
    place(facts, fieldLeft, Scale(16) + 4 * row + Scale(4), fieldWidth, Scale(60));
    place(start, fieldLeft, Scale(16) + 4 * row + Scale(72), Scale(120), Scale(30));
    // The station: the job above, the tiles, then the tallies and the buttons, the events below.
    place(job, Scale(10), Scale(8), width - Scale(160), Scale(22));
    place(sha256, Scale(10), Scale(32), width - Scale(160), Scale(22));
    place(changeJob, width - Scale(130), Scale(10), Scale(120), Scale(30));
    const int eventsHeight = Scale(90);
    const int bottom = height - eventsHeight - Scale(8);
    place(events, Scale(8), bottom + Scale(4), width - Scale(16), eventsHeight);
    place(tally, Scale(10), bottom - Scale(40), width - Scale(300), Scale(34));
    place(retry, width - Scale(280), bottom - Scale(40), Scale(130), Scale(32));
    place(stopAll, width - Scale(140), bottom - Scale(40), Scale(130), Scale(32));
    const int top = Scale(60);
    const int area = bottom - Scale(46) - top;
    const int columns = TileColumns(tiles.size());
    const int rows = tiles.empty() ? 1
                                   : static_cast<int>((tiles.size() + static_cast<std::size_t>(columns) - 1) /
                                                      static_cast<std::size_t>(columns));
    const int tileWidth = (width - Scale(16)) / columns;
    const int tileHeight = area / rows;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const int column = static_cast<int>(i) % columns;
        const int line = static_cast<int>(i) / columns;
        place(tiles[i], Scale(8) + column * tileWidth, top + line * tileHeight, tileWidth, tileHeight);
    }
}

void Win32StationWindow::FillModels() {
    const std::string ini = options_.ini.empty() ? platform::ProgramDirectory() + "fwload.ini" : options_.ini;
    SendMessageW(model, CB_RESETCONTENT, 0, 0);
    std::vector<std::string> sections;
    IniReadSections(ini, sections);
    for (const std::string& section : sections)
        SendMessageA(model, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(section.c_str()));
    std::string problem;
    if (const std::optional<std::string> given = ResolveModel(ini, options_.model, problem)) {
        SendMessageA(model, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(given->c_str()));
    } else if (!sections.empty()) {
        SendMessageW(model, CB_SETCURSEL, 0, 0);
    }
}

void Win32StationWindow::CheckFile() {
    const std::string path = SystemText(file);
    FirmwareFacts read;
    bool usable = false;
    std::wstring text;
    if (path.empty()) {
        text = L"Choose the firmware file.";
    } else if (const std::optional<std::string> problem = ReadFirmwareFacts(path, read)) {
        text = Shown(*problem);
    } else if (!read.header) {
        text = L"Not card printer firmware: " + Shown(path);
    } else if (const std::optional<std::string> problem = PinnedSha256Problem(path, read, options_.sha256)) {
        text = Shown(*problem);
    } else {
        text = Wide("Size " + FormatWithThousands(read.size) + " bytes     Byte sum " + Hex4(read.image.byteSum) +
                    "\nSHA-256 " + read.sha256);
        usable = true;
    }
    SetWindowTextW(facts, text.c_str());
    EnableWindow(start, usable && SendMessageW(model, CB_GETCURSEL, 0, 0) >= 0);
}

bool Win32StationWindow::StartStation() {
    if (controller_.Started()) return true;
    const LRESULT chosen = SendMessageW(model, CB_GETCURSEL, 0, 0);
    if (chosen >= 0) {
        std::string name(
            static_cast<std::size_t>(SendMessageA(model, CB_GETLBTEXTLEN, static_cast<WPARAM>(chosen), 0)) + 1, '\0');
        name.resize(static_cast<std::size_t>(
            SendMessageA(model, CB_GETLBTEXT, static_cast<WPARAM>(chosen), reinterpret_cast<LPARAM>(name.data()))));
        options_.model = name;
    }
    options_.firmware = SystemText(file);
    options_.operatorName = SystemText(operatorName);
    const std::string problem = controller_.Start(options_);
    if (!problem.empty()) {
        platform::ShowMessageBox(
            platform::MessageBoxRequest{kStationCaption, problem, platform::MessageIcon::Error, false, false});
        return false;
    }
    SetWindowTextW(job, Wide(controller_.JobLine()).c_str());
    SetWindowTextW(sha256, Wide(controller_.ShortSha256()).c_str());
    // The whole SHA-256 on hover, for the supervisor to compare.
    shaTip_ = Wide(controller_.Sha256());
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(sha256);
    tool.lpszText = shaTip_.data();
    SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ShowPage(true);
    SetTimer(window, kPollTimer, kPollMs, nullptr);
    SetFocus(window);
    Poll();
    return true;
}

void Win32StationWindow::LayOutTiles(std::size_t count) {
    while (tiles.size() > count) {
        DestroyWindow(tiles.back());
        tiles.pop_back();
    }
    while (tiles.size() < count) {
        const HWND tile = CreateWindowExW(0, kTileClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window, nullptr,
                                          instance_, nullptr);
        SetWindowLongPtrW(tile, GWLP_USERDATA, static_cast<LONG_PTR>(tiles.size()));
        tiles.push_back(tile);
    }
    shown_.resize(count);
    if (selected_ >= static_cast<int>(count)) selected_ = -1;
    LayOut();
    if (selected_ < 0 && count > 0) Select(0);
}

void Win32StationWindow::Select(int index) {
    if (index < 0 || index >= static_cast<int>(tiles.size())) return;
    const int previous = selected_;
    selected_ = index;
    if (previous >= 0 && previous < static_cast<int>(tiles.size()))
        InvalidateRect(tiles[static_cast<std::size_t>(previous)], nullptr, FALSE);
    InvalidateRect(tiles[static_cast<std::size_t>(index)], nullptr, FALSE);
    ShowButtons();
}

void Win32StationWindow::ShowButtons() {
    EnableWindow(retry, controller_.CanRetry(selected_));
    EnableWindow(stopAll, controller_.CanStopAll());
    EnableWindow(changeJob, controller_.CanChangeJob());
}

void Win32StationWindow::Poll() {
    controller_.Poll();
    const std::vector<StationTile>& looks = controller_.Tiles();
    if (looks.size() != tiles.size()) LayOutTiles(looks.size());
    for (std::size_t i = 0; i < looks.size(); ++i) {
        if (looks[i] == shown_[i]) continue;
        shown_[i] = looks[i];
        const StationTile& tile = looks[i];
        const std::string name = (tile.slot > 0 ? std::to_string(tile.slot) + " " : std::string()) + tile.location +
                                 ": " + tile.word + "\n" + tile.serial + "\n" + tile.detail;
        SetWindowTextW(tiles[i], Wide(name).c_str());
        InvalidateRect(tiles[i], nullptr, FALSE);
    }
    SetWindowTextW(tally, Wide(controller_.Tally()).c_str());
    ShowButtons();
    if (controller_.Finished()) KillTimer(window, kPollTimer);
    if (controller_.ShouldClose()) DestroyWindow(window);
}

void Win32StationWindow::Say(const std::string& line) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t stamp[16];
    wsprintfW(stamp, L"%02d:%02d:%02d  ", now.wHour, now.wMinute, now.wSecond);
    const std::wstring text = (GetWindowTextLengthW(events) > 0 ? L"\r\n" : L"") + std::wstring(stamp) + Wide(line);
    const int length = GetWindowTextLengthW(events);
    SendMessageW(events, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    SendMessageW(events, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32StationWindow::OnClose() {
    switch (controller_.CloseRequested()) {
        case StationController::Closing::Close: DestroyWindow(window); return;
        case StationController::Closing::Wait: return;  // it closes once the runs under way have ended
        case StationController::Closing::Ask: break;
    }
    if (!services_.confirm(window, controller_.CloseQuestion())) return;
    controller_.CloseConfirmed();
    Poll();
}

void Win32StationWindow::OnCommand(HWND control, int code) {
    if (control == browse && code == BN_CLICKED) {
        const std::string chosen = services_.browseForFile(window);
        if (!chosen.empty()) SetWindowTextA(file, chosen.c_str());
    } else if ((control == file && code == EN_CHANGE) || (control == model && code == CBN_SELCHANGE)) {
        CheckFile();
    } else if (control == start && code == BN_CLICKED) {
        StartStation();
    } else if (control == retry && code == BN_CLICKED) {
        controller_.Retry(selected_);
        Poll();
        SetFocus(window);
    } else if (control == stopAll && code == BN_CLICKED) {
        controller_.StopAll();
        Poll();
    } else if (control == changeJob && code == BN_CLICKED && controller_.CanChangeJob()) {
        controller_.ChangeJob();
        KillTimer(window, kPollTimer);
        LayOutTiles(0);
        shown_.clear();
        selected_ = -1;
        ShowPage(false);
        FillModels();
        CheckFile();
    }
}

LRESULT CALLBACK Win32StationWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<Win32StationWindow*>(create->lpCreateParams)->window = window;
    }
    auto* self = reinterpret_cast<Win32StationWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32StationWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam)); return 0;
        case WM_TIMER:
            if (wParam == kPollTimer) Poll();
            return 0;
        case WM_SIZE: LayOut(); return 0;
        case WM_CLOSE: OnClose(); return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            for (HFONT* font : {&font_, &large_}) DeleteObject(*font);
            font_ = MakeFont(Scale(15), false);
            large_ = MakeFont(Scale(24), true);
            EnumChildWindows(window, &SetFontOf, reinterpret_cast<LPARAM>(font_));
            SendMessageW(tally, WM_SETFONT, reinterpret_cast<WPARAM>(large_), TRUE);
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            KillTimer(window, kPollTimer);
            window = nullptr;
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK Win32StationWindow::TileProcedure(HWND tile, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32StationWindow*>(GetWindowLongPtrW(GetParent(tile), GWLP_USERDATA));
    const int index = static_cast<int>(GetWindowLongPtrW(tile, GWLP_USERDATA));
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            const HDC context = BeginPaint(tile, &paint);
            // Drawn aside and put on screen at once: a tile redrawn ten times a second never flickers.
            RECT client{};
            GetClientRect(tile, &client);
            const HDC buffer = CreateCompatibleDC(context);
            const HBITMAP bitmap = CreateCompatibleBitmap(context, client.right, client.bottom);
            const HGDIOBJ previous = SelectObject(buffer, bitmap);
            if (self != nullptr) self->PaintTile(tile, buffer);
            BitBlt(context, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
            SelectObject(buffer, previous);
            DeleteObject(bitmap);
            DeleteDC(buffer);
            EndPaint(tile, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (self != nullptr) self->PaintTile(tile, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN:
            if (self != nullptr) {
                self->Select(index);
                SetFocus(self->window);
            }
            return 0;
        default: return DefWindowProcW(tile, message, wParam, lParam);
    }
}

void Win32StationWindow::PaintTile(HWND handle, HDC context) const {
    const int index = static_cast<int>(GetWindowLongPtrW(handle, GWLP_USERDATA));
    if (index < 0 || index >= static_cast<int>(shown_.size())) return;
    const StationTile& tile = shown_[static_cast<std::size_t>(index)];
    RECT client{};
    GetClientRect(handle, &client);
    Fill(context, client, GetSysColor(COLOR_BTNFACE));
    RECT area = client;
    InflateRect(&area, -Scale(4), -Scale(4));
    const TileColours colours = ColoursOf(tile.tone);
    const COLORREF ground = Colour(colours.ground);
    const COLORREF ink = Colour(colours.ink);
    Fill(context, area, ground);
    if (tile.tone == TileTone::GreenOutline) {
        RECT outline = area;
        InflateRect(&outline, -Scale(2), -Scale(2));
        Frame(context, outline, Scale(8), ink);
    }
    if (index == selected_) {
        RECT ring = client;
        InflateRect(&ring, -Scale(1), -Scale(1));
        Frame(context, ring, Scale(5), RGB(0, 0, 0));
        InflateRect(&ring, -Scale(5), -Scale(5));
        Frame(context, ring, Scale(2), RGB(255, 255, 255));
    }
    const int h = area.bottom - area.top;
    RECT inner = area;
    InflateRect(&inner, -Scale(14), -Scale(10));
    const int innerWidth = inner.right - inner.left;
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, ink);
    const HFONT small = MakeFont(std::max(12, h / 11), false);
    const HGDIOBJ before = SelectObject(context, small);
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    const int line = metrics.tmHeight;
    const std::wstring where =
        tile.slot > 0 ? std::to_wstring(tile.slot) + L"  \u00b7  " + Wide(tile.location) : L"port unknown";
    RECT top = inner;
    DrawTextW(context, where.c_str(), -1, &top, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    DrawTextW(context, Wide(tile.serial).c_str(), -1, &top, DT_RIGHT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    // The state word: large, the widest that fits.
    const std::wstring word = Wide(tile.word);
    const HFONT big =
        LargestFitting(context, std::max(16, h / 4), 8, true, [&] { return TextWidth(context, word) <= innerWidth; });
    GetTextMetricsW(context, &metrics);
    RECT wordArea{inner.left, inner.top + line + h / 20, inner.right, inner.top + line + h / 20 + metrics.tmHeight};
    DrawTextW(context, word.c_str(), -1, &wordArea, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(context, small);
    int y = wordArea.bottom + h / 25;
    if (tile.percent >= 0) {
        const RECT bar{inner.left, y, inner.right, y + std::max(8, h / 12)};
        Fill(context, bar, Lighter(ground));
        Fill(context, RECT{bar.left, bar.top, bar.left + innerWidth * tile.percent / 100, bar.bottom},
             RGB(255, 255, 255));
        y = bar.bottom + h / 30;
    }
    RECT last{inner.left, inner.bottom - line, inner.right, inner.bottom};
    DrawTextW(context, Wide(tile.time).c_str(), -1, &last, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    RECT bytes{last.left, last.top, last.right - TextWidth(context, Wide(tile.time)) - Scale(12), last.bottom};
    // The bytes whole, in a smaller font where the tile is narrow; cut short only below 9 pixels.
    const std::wstring sent = Wide(tile.bytes);
    const HFONT sentFont = LargestFitting(context, std::max(12, h / 11), 9, false,
                                          [&] { return TextWidth(context, sent) <= bytes.right - bytes.left; });
    DrawTextW(context, sent.c_str(), -1, &bytes, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    SelectObject(context, small);
    // The details, as large as fits above the last line.
    RECT details{inner.left, y, inner.right, last.top};
    const std::wstring detail = Wide(tile.detail);
    const HFONT fitted = LargestFitting(context, std::max(12, h / 11), 10, false, [&] {
        RECT measured = details;
        DrawTextW(context, detail.c_str(), -1, &measured, DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
        return measured.bottom <= details.bottom;
    });
    DrawTextW(context, detail.c_str(), -1, &details, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(context, before);
    for (HFONT font : {small, big, sentFont, fitted}) {
        if (font != nullptr) DeleteObject(font);
    }
}
