// fwload-station for Windows: the flashing station in a window, for line operators.
#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <clocale>

#include "DynamicLibrary.h"
#include "StationOptions.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "Win32MessageBox.h"
#include "Win32StationWindow.h"

namespace {

// A window program has no console: what it would print is a box.
void Tell(const std::string& text, UINT icon) {
    const std::wstring wide(text.begin(), text.end());
    MessageBoxW(nullptr, wide.c_str(), L"Card Printer Flashing Station", MB_OK | icon);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    platform::RestrictLibrarySearch();
    std::setlocale(LC_ALL, "");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    platform::InstallWin32MessageBoxes();
    StationOptions options;
    CLI::App app{"", "fwload-station"};
    AddStationOptions(app, options, false);
    app.set_version_flag("-V,--version", std::string("fwload-station ") + SUITE_VERSION);
    app.description(kStationHelp);
    app.footer(kStationDisplaySetUpHelp);
    try {
        app.parse(__argc, __argv);
    } catch (const CLI::CallForHelp&) {
        Tell(app.help(), MB_ICONINFORMATION);
        return 0;
    } catch (const CLI::CallForVersion&) {
        Tell(app.version(), MB_ICONINFORMATION);
        return 0;
    } catch (const CLI::ParseError& error) {
        Tell(std::string(error.what()) + " (fwload-station --help tells how)", MB_ICONERROR);
        return 2;
    }
    if (const std::optional<std::string> problem = CheckStationOptions(options)) {
        Tell(*problem, MB_ICONERROR);
        return 2;
    }
    Win32StationWindow station(options);
    if (station.Create(instance) == nullptr) return 1;
    station.Show();
    if (!options.model.empty() && !options.firmware.empty()) station.StartStation();
    return station.RunMessageLoop();
}
