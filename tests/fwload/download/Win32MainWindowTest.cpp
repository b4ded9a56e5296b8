// fwload's Win32 window under Wine, driven through its own messages: the controls where the window
// declares them, the rules of its buttons and boxes, and a download into the virtual printer's
// Windows DLLs in real time, Timer1 never early.
#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "MessageBoxRecorder.h"
#include "SimEnvironment.h"
#include "TraceTime.h"
#include "Win32Dpi.h"
#include "Win32FrmMain.h"

namespace {

using ::testing::ElementsAre;

std::string Text(HWND control) {
    char text[512] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

void PumpAll() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

class Win32Window : public ::testing::Test {
protected:
    Win32Window() {
        services.loadUsbLibrary = [this] { return usbLibrary; };
        services.unloadUsbLibrary = [] {};
        services.settingsFile = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,LEFT,HELLO\n[KX-4710 Basic]\n");
        firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(1500, '\x5A'));
    }
    std::unique_ptr<Win32FrmMain> Open() {
        auto form = std::make_unique<Win32FrmMain>(services, [this](HWND) { return browsed; });
        form->Create(GetModuleHandleA(nullptr));
        if (form->window != nullptr) form->Show();
        PumpAll();
        return form;
    }
    static void Choose(const Win32FrmMain& form, int index) {
        SendMessageA(form.cbModel, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageA(form.window, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(form.cbModel));
    }

    SimEnvironment sim;
    TempDir dir;
    MessageBoxRecorder boxes;
    MainWindowServices services;
    bool usbLibrary = true;
    std::string firmware;
    std::string browsed;
};

// At 96 dpi and after a move to screens of 144 and 192 dpi (WM_DPICHANGED): every control at its
// declared pixel position, scaled.
TEST_F(Win32Window, EveryControlSitsWhereTheWindowDeclaresIt) {
    const auto form = Open();
    char caption[64] = {};
    GetWindowTextA(form->window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Card Printer Firmware Download Program");
    EXPECT_EQ(GetWindowLongA(form->window, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    const struct {
        HWND control;
        RECT declared;  // left, top, width, height at 96 dpi; 0 where the control sizes itself
        const char* text;
        bool enabled;
    } cases[] = {
        {form->lblSize, {72, 74, 0, 0}, "- Bytes", true},
        {form->lblProgress, {16, 102, 0, 0}, "Status", true},
        {form->Label1, {16, 46, 0, 0}, "File Name", true},
        {form->Label4, {16, 74, 0, 0}, "File Size", true},
        {form->Label3, {16, 16, 0, 0}, "Model", true},
        {form->Progress, {16, 121, 372, 17}, "", true},
        {form->BtnDownload, {120, 159, 78, 25}, "Download", false},
        {form->BtnCancel, {199, 159, 78, 25}, "Stop", false},
        {form->BtnClose, {310, 159, 78, 25}, "Exit", true},
        {form->edtFilename, {72, 43, 295, 21}, "", true},
        {form->edtFilenameButton, {367, 43, 21, 21}, "...", true},
        {form->cbModel, {72, 13, 316, 0}, "", true},
    };
    for (const int dpi : {96, 144, 192}) {
        if (dpi != 96) MoveToDpi(form->window, dpi, {405, 200});
        RECT client;
        GetClientRect(form->window, &client);
        EXPECT_EQ(client.right, MulDiv(405, dpi, 96)) << dpi;
        EXPECT_EQ(client.bottom, MulDiv(200, dpi, 96)) << dpi;
        for (const auto& c : cases) {
            ExpectPlacedScaled(c.control, c.declared, dpi, c.text);
            EXPECT_EQ(Text(c.control), c.text);
            EXPECT_EQ(IsWindowEnabled(c.control) != FALSE, c.enabled) << c.text;
        }
        // The font follows: Tahoma 8 pt is 11 pixels high at 96 dpi.
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form->BtnClose, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, dpi, 72)) << dpi;
    }
    EXPECT_EQ(SendMessageA(form->Progress, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(GetFocus(), form->BtnClose);
    EXPECT_EQ(SendMessageA(form->cbModel, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(form->cbModel, CB_GETCURSEL, 0, 0), -1);
}

TEST_F(Win32Window, DownloadIsEnabledByAModelAndAnExistingFileAndRefusesOtherwise) {
    const std::string folder = dir.File("folder");
    CreateDirectoryA(folder.c_str(), nullptr);
    const struct {
        int model;
        std::string file;
        bool enabled;
        std::vector<std::string> boxesOnClick;
    } cases[] = {
        {0, "", false, {"Notifications: Select the firmware file."}},
        {-1, firmware, false, {"Notifications: Select a model."}},
        {0, folder, false, {"Notifications: Select the firmware file."}},
        {1, firmware + "x", false, {"Notifications: Select the firmware file."}},
        {0, "\"" + firmware + "\"", true, {}},
    };
    for (const auto& c : cases) {
        const auto form = Open();
        SetWindowTextA(form->edtFilename, c.file.c_str());
        Choose(*form, c.model);
        EXPECT_EQ(IsWindowEnabled(form->BtnDownload) != FALSE, c.enabled) << c.file;
        if (c.enabled) continue;
        boxes.boxes.clear();
        SendMessageA(form->window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(form->BtnDownload));
        EXPECT_EQ(boxes.Lines(), c.boxesOnClick) << c.file;
        EXPECT_EQ(Text(form->lblProgress), "Status") << c.file;
    }
    // A browsed path with a blank comes in double quotes.
    const auto form = Open();
    browsed = dir.Write("my fw.bin", "[NOV Card Printer]x");
    form->BrowseClick();
    EXPECT_EQ(Text(form->edtFilename), "\"" + browsed + "\"");
}

TEST_F(Win32Window, WithoutTheUsbLibraryItSaysSoOnceAndCloses) {
    usbLibrary = false;
    const auto form = Open();
    EXPECT_THAT(boxes.Lines(), ElementsAre("Error: Usb driver not found.\r\rThis program will be closed."));
    PumpAll();
    EXPECT_EQ(form->window, nullptr);
}

// The label's pixels, row by row, as they are on screen.
std::vector<COLORREF> Pixels(HWND control) {
    RECT area;
    GetClientRect(control, &area);
    std::vector<COLORREF> pixels;
    const HDC context = GetDC(control);
    for (int y = 0; y < area.bottom; ++y) {
        for (int x = 0; x < area.right; ++x) pixels.push_back(GetPixel(context, x, y));
    }
    ReleaseDC(control, context);
    return pixels;
}

// A status text that grows is painted whole: its pixels are those of the same text in a label that
// never showed another.
TEST_F(Win32Window, TheStatusLinePaintsEachTextWhole) {
    const auto form = Open();
    for (const char* text : {"Status: Initializing!!...", "Status: Initialization complete!!...", "Status",
                             "Status: Download complete!!..."}) {
        form->SetStatusText(text);
        UpdateWindow(form->window);
        PumpAll();
        const RECT placed = Placed(form->lblProgress);
        const auto style = static_cast<DWORD>(GetWindowLongA(form->lblProgress, GWL_STYLE));
        const HWND fresh = CreateWindowExA(0, "STATIC", text, style, placed.left, placed.top + 40, placed.right - placed.left,
                                           placed.bottom - placed.top, form->window, nullptr, GetModuleHandleA(nullptr), nullptr);
        SendMessageA(fresh, WM_SETFONT, SendMessageA(form->lblProgress, WM_GETFONT, 0, 0), TRUE);
        UpdateWindow(fresh);
        PumpAll();
        EXPECT_TRUE(Pixels(form->lblProgress) == Pixels(fresh)) << text << ": not as the same text drawn fresh";
        DestroyWindow(fresh);
    }
}

TEST_F(Win32Window, DownloadsIntoTheVirtualPrinterWithThePauseNeverShort) {
    const std::string trace = dir.File("d2xx.trace");
    sim.Set("FWSIM_TRACE", trace);
    sim.Set("FWSIM_RESTART_CALLS", "0");
    services.loadUsbLibrary = nullptr;  // the virtual printer's ftd2xx.dll, bound as the program binds it
    services.unloadUsbLibrary = nullptr;
    const auto form = Open();
    SetWindowTextA(form->edtFilename, firmware.c_str());
    Choose(*form, 0);
    // From another thread, as Windows would: the session may not end while the download runs (asked
    // during the pause after the mode change), and during the 5 s sleep after it the window still
    // paints what is uncovered.
    DWORD_PTR endDuringDownload = TRUE;
    BOOL unpaintedInSleep = TRUE;
    std::thread windows([&] {
        const auto awaitStatus = [&](const wchar_t* text) {
            wchar_t shown[128] = {};
            for (int i = 0; i < 2000 && std::wcscmp(shown, text) != 0; ++i) {
                Sleep(10);
                InternalGetWindowText(form->lblProgress, shown, 128);  // sends nothing to the window
            }
        };
        awaitStatus(L"Status: Ready to download(mode change).");
        SendMessageTimeoutA(form->window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &endDuringDownload);
        awaitStatus(L"Status: Download complete!!...");
        InvalidateRect(form->lblProgress, nullptr, TRUE);
        Sleep(1000);
        unpaintedInSleep = GetUpdateRect(form->lblProgress, nullptr, FALSE);
    });
    SendMessageA(form->BtnDownload, BM_CLICK, 0, 0);
    windows.join();
    EXPECT_EQ(endDuringDownload, static_cast<DWORD_PTR>(FALSE));
    EXPECT_FALSE(unpaintedInSleep);
    EXPECT_EQ(SendMessageA(form->window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_EQ(Text(form->lblProgress), "Status: Initialization complete!!...");
    EXPECT_EQ(Text(form->lblSize), "1,518 Bytes");
    EXPECT_TRUE(IsWindowEnabled(form->BtnDownload));
    EXPECT_FALSE(IsWindowEnabled(form->BtnCancel));
    EXPECT_THAT(boxes.boxes, ::testing::IsEmpty());
    EXPECT_EQ(sim.StoredImage().size(), 1536u);
    std::size_t from = 0;
    const double reply = TraceTime(ReadWholeFile(trace), "-> 1 = FT_OK: 06", from);
    const double poll = TraceTime(ReadWholeFile(trace), "FT_Write(5)", from);
    EXPECT_GE(poll - reply, 2.000);
    // Closing is refused only while a download runs.
    SendMessageA(form->BtnClose, BM_CLICK, 0, 0);
    EXPECT_EQ(form->window, nullptr);
}

}  // namespace
