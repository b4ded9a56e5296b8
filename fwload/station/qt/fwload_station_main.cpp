// fwload-station: the flashing station in a window, for line operators.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <iostream>

#include "DynamicLibrary.h"
#include "QtDisplay.h"
#include "QtMessageBox.h"
#include "StationOptions.h"
#include "StationWindow.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "VisibleText.h"

int main(int argc, char* argv[]) {
    platform::RestrictLibrarySearch();
    std::setlocale(LC_ALL, "");
    // A --on-end command that does not read its record must not end the station.
    platform::KeepRunningWhenOutputCloses();
    StationOptions options;
    CLI::App app{"", "fwload-station"};
    AddStationOptions(app, options, false);
    app.set_version_flag("-V,--version", std::string("fwload-station ") + SUITE_VERSION);
    app.description(
        std::string("Opens the window of a flashing station: a tile per USB port, each card printer attached "
                    "flashed once, with a record per attempt. Without a model or a firmware file it asks for "
                    "them first; given --sha256 the job is locked to that file.\n\n") +
        kStationHelp);
    app.footer(kStationDisplaySetUpHelp);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "fwload-station: %s (fwload-station --help tells how)\n",
                     VisibleText(error.what()).c_str());
        return 2;
    }
    if (const std::optional<std::string> problem = CheckStationOptions(options)) {
        std::fprintf(stderr, "fwload-station: %s\n", VisibleText(*problem).c_str());
        return 2;
    }
    if (ReportMissingDisplay("fwload-station", "fwload-cli station flashes the same way in a terminal")) return 1;
    // Qt is given no words of the command line: they are the station's.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    InstallQtMessageBoxes();
    StationWindow window(options);
    window.show();
    if (!options.model.empty() && !options.firmware.empty())
        QTimer::singleShot(0, &window, [&window] { window.StartStation(); });
    return application.exec();
}
