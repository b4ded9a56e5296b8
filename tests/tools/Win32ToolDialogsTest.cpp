// The tools' Win32 dialogs, built from the real programs' templates (the .exe files loaded as
// resource modules), driven through their own messages against the virtual printer's SDK face.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "MessageBoxRecorder.h"
#include "SimEnvironment.h"
#include "TempDir.h"
#include "Win32Dpi.h"
#include "Win32Tools.h"

namespace {

using ::testing::ElementsAre;

HMODULE Resources(const char* program) {
    static std::map<std::string, HMODULE> modules;
    HMODULE& module = modules[program];
    if (module == nullptr) {
        module = LoadLibraryExA((std::string(TOOLS_DIR "/") + program + ".exe").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE);
    }
    return module;
}

// A dialog created from its program's template, shown, and destroyed with the fixture.
struct Shown {
    Shown(std::unique_ptr<Win32ToolDialog> made, const char* program) : dialog(std::move(made)) {
        window = dialog->Create(Resources(program));
        ShowWindow(window, SW_SHOW);
    }
    std::string Text(int id) const {
        char text[8192] = {};
        GetDlgItemTextA(window, id, text, sizeof text);
        return text;
    }
    void Click(int id) const { SendMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0); }
    void Choose(int id, int index) const {
        SendDlgItemMessageA(window, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
    void TypeOver(int id, const char* text) const {
        SetDlgItemTextA(window, id, text);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
    std::unique_ptr<Win32ToolDialog> dialog;
    HWND window = nullptr;
};

class Win32Tools : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadLibraryA("Riched20.dll"); }
    SimEnvironment sim;
    MessageBoxRecorder boxes;
};

TEST_F(Win32Tools, EveryControlSitsWhereItsTemplateSays) {
    struct Control {
        int id;
        RECT units;  // left, top, width, height in dialog units
        const char* text;
    };
    const struct {
        const char* program;
        std::function<std::unique_ptr<Win32ToolDialog>()> make;
        SIZE client;
        std::vector<Control> controls;
    } cases[] = {
        {"sensorpos", [] { return std::make_unique<SensorPosWin32Dialog>(); }, {151, 217},
         {{1000, {27, 22, 32, 22}, "Get"}, {1001, {27, 51, 32, 22}, "Set"}, {1002, {76, 24, 45, 18}, ""},
          {1007, {16, 109, 115, 96}, ""}, {1008, {76, 55, 46, 0}, "0 : OLD"}}},
        {"ribboncap", [] { return std::make_unique<RibbonCapWin32Dialog>(); }, {187, 145},
         {{1000, {99, 34, 66, 18}, "General"}, {1001, {100, 65, 67, 0}, "1 : General"}, {1002, {25, 90, 57, 20}, "Setting"},
          {1003, {100, 90, 57, 20}, "Exit"}, {1004, {24, 116, 146, 16}, "Open - Success"},
          {1005, {99, 9, 66, 14}, "KX47-000123"}}},
        {"ribbonsense", [] { return std::make_unique<RibbonSenseWin32Dialog>([] { return std::time_t{0}; }); },
         {179, 244},
         {{1000, {8, 18, 83, 26}, "Check Ribbon Sensor"}, {1001, {7, 90, 165, 147}, "[0:0:0] OpenDevice - Ok \r\n"},
          {1002, {8, 55, 83, 26}, "Set Ribbon Sensor"}, {1003, {125, 19, 47, 26}, "EXIT"}}},
    };
    for (const auto& c : cases) {
        const Shown shown(c.make(), c.program);
        ASSERT_NE(shown.window, nullptr) << c.program;
        char caption[64] = {};
        GetWindowTextA(shown.window, caption, sizeof caption);
        EXPECT_STREQ(caption, c.program);
        LOGFONTA createdFont{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(shown.window, WM_GETFONT, 0, 0)), sizeof createdFont, &createdFont);
        // As made (96 dpi here), then moved to screens of 144 and 192 dpi: the template's layout scaled.
        for (const int dpi : {96, 144, 192}) {
            RECT client{0, 0, c.client.cx, c.client.cy};
            MapDialogRect(shown.window, &client);
            if (dpi != 96) MoveToDpi(shown.window, dpi, {client.right, client.bottom});
            RECT actual;
            GetClientRect(shown.window, &actual);
            EXPECT_EQ(actual.right, MulDiv(client.right, dpi, 96)) << c.program << " " << dpi;
            EXPECT_EQ(actual.bottom, MulDiv(client.bottom, dpi, 96)) << c.program << " " << dpi;
            for (const Control& control : c.controls) {
                // As the dialog manager places a control: position and size each mapped on their own; a
                // drop-down combo box is as high as its edit (the template's height is its list's).
                RECT expected = control.units;
                MapDialogRect(shown.window, &expected);
                if (control.units.bottom == 0) expected.bottom = 0;
                const std::string where = std::string(c.program) + " " + std::to_string(control.id);
                ExpectPlacedScaled(GetDlgItem(shown.window, control.id), expected, dpi, where);
                EXPECT_EQ(shown.Text(control.id), control.text) << where;
                char windowClass[32] = {};
                GetClassNameA(GetDlgItem(shown.window, control.id), windowClass, sizeof windowClass);
                if (std::string(windowClass) != "RichEdit20A") {  // a rich edit keeps its font as a format
                    LOGFONTA font{};
                    GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(shown.window, control.id, WM_GETFONT, 0, 0)),
                               sizeof font, &font);
                    EXPECT_EQ(font.lfHeight, MulDiv(createdFont.lfHeight, dpi, 96)) << where << " " << dpi;
                }
            }
        }
    }
    EXPECT_THAT(boxes.boxes, ::testing::IsEmpty());
}

TEST_F(Win32Tools, TheButtonsRunTheSameSequencesAsOnLinux) {
    const Shown sensorpos(std::make_unique<SensorPosWin32Dialog>(), "sensorpos");
    sensorpos.Choose(1008, 1);
    sensorpos.Click(1001);
    sensorpos.Click(1000);
    EXPECT_EQ(sensorpos.Text(1002), "NEW");
    sensorpos.TypeOver(1008, "5");
    sensorpos.Click(1001);
    EXPECT_EQ(sensorpos.Text(1007), "OpenDevice - OK \r\nSetSensor - OK \r\nCloseDeivce - OK \r\n"
                                    "OpenDevice - OK \r\nGetSensor - OK \r\nCloseDeivce - OK \r\n"
                                    "OpenDevice - OK \r\nSetSensor - NG \r\nCloseDeivce - OK \r\n");
    EXPECT_EQ(sim.State().sensorPosition, 1);

    const Shown ribboncap(std::make_unique<RibbonCapWin32Dialog>(), "ribboncap");
    ribboncap.Choose(1001, 1);
    ribboncap.Click(1002);
    EXPECT_EQ(ribboncap.Text(1000), "Large");
    EXPECT_EQ(ribboncap.Text(1004), "Setting - Success");

    // Every line stays in the log, however far below the box it lands.
    const Shown ribbonsense(std::make_unique<RibbonSenseWin32Dialog>([] { return std::time_t{0}; }), "ribbonsense");
    for (int i = 0; i < 12; ++i) ribbonsense.Click(1000);
    std::string expected = "[0:0:0] OpenDevice - Ok \r\n";
    for (int i = 0; i < 12; ++i) {
        expected += "[0:0:0] GetRibbonSensorEx - success \r\n[0:0:0] [100/100]Ribbon Sensor [555][560] \r\n";
        if (i < 11) expected += "[0:0:0] OpenDevice - Ok \r\n";
    }
    EXPECT_EQ(ribbonsense.Text(1001), expected);
}

TEST_F(Win32Tools, WithoutTheSdkEachCallShowsItsBox) {
    sim.Set("FWSIM_FAULTS", "");
    SetEnvironmentValue("PATH", "C:\\windows\\system32");  // no KX4700.DLL or CRDPRT.DLL to be found
    const Shown sensorpos(std::make_unique<SensorPosWin32Dialog>(), "sensorpos");
    sensorpos.Click(1000);
    EXPECT_THAT(boxes.Lines(), ElementsAre("KX4700_TEST.EXE: KX4700.DLL NOT FOUND (4)",
                                           "KX4700_TEST.EXE: KX4700.DLL NOT FOUND (4)"));
    EXPECT_TRUE(boxes.boxes.front().ownerless);
    EXPECT_EQ(sensorpos.Text(1007), "GetSensor - NG \r\nCloseDeivce - NG \r\n");
}

// Enter and Escape, posted into the dialog's own modal loop to its focused control, then an OK: where
// the tool swallows the keys, the OK ends the dialog and the focused button was not pressed.
TEST_F(Win32Tools, EnterAndEscapeDoNothingWhereTheToolsSwallowThem) {
    const struct {
        const char* program;
        std::function<std::unique_ptr<Win32ToolDialog>()> make;
        WPARAM key;
        INT_PTR ended;
        const char* notCalled;  // an SDK operation the key must not have reached
    } cases[] = {
        {"sensorpos", [] { return std::make_unique<SensorPosWin32Dialog>(); }, VK_RETURN, IDOK, "OpenDevice"},
        {"sensorpos", [] { return std::make_unique<SensorPosWin32Dialog>(); }, VK_ESCAPE, IDOK, "OpenDevice"},
        {"ribbonsense", [] { return std::make_unique<RibbonSenseWin32Dialog>(); }, VK_RETURN, IDOK, "GetRibbonSensorEx"},
        {"ribbonsense", [] { return std::make_unique<RibbonSenseWin32Dialog>(); }, VK_ESCAPE, IDOK, "GetRibbonSensorEx"},
        {"ribboncap", [] { return std::make_unique<RibbonCapWin32Dialog>(); }, VK_ESCAPE, IDCANCEL, nullptr},
    };
    static WPARAM key;
    const TempDir dir;
    for (const auto& c : cases) {
        const std::string trace = dir.File(std::string(c.program) + std::to_string(c.key) + ".trace");
        sim.Set("FWSIM_TRACE", trace);
        key = c.key;
        const auto dialog = c.make();
        SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR timer, DWORD) {
            KillTimer(nullptr, timer);
            const HWND window = GetActiveWindow();
            const HWND focus = GetFocus() != nullptr ? GetFocus() : window;
            PostMessageA(focus, WM_KEYDOWN, key, 0);
            PostMessageA(focus, WM_CHAR, key, 0);
            PostMessageA(focus, WM_KEYUP, key, 0);
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(dialog->Run(Resources(c.program)), c.ended) << c.program << " " << c.key;
        if (c.notCalled != nullptr) {
            EXPECT_THAT(ReadWholeFile(trace), ::testing::Not(::testing::HasSubstr(c.notCalled))) << c.program;
        }
    }
}

}  // namespace
