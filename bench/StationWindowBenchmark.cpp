// What the station window costs: 1 and 16 virtual printers (64 KiB each, 1 ms latency) flashed from
// the window by fwload-cli workers, the time until all have ended against one printer's; the
// window's own CPU while it waits for printers; and how often each tile is redrawn.
//     LD_LIBRARY_PATH=build/sim build/bench/station_window_benchmark
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "StationWindow.h"
#include "TileWidget.h"

namespace {

using Clock = std::chrono::steady_clock;

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the window's event loop, as the program does, until the condition holds or the time is up.
bool RunUntil(const std::function<bool()>& done, double seconds) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    look.start(50);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

StationOptions Options(const std::filesystem::path& work, int printers) {
    StationOptions options;
    options.ini = FWLOAD_INI;
    options.model = "KX-4700";
    options.firmware = (work / "demo.bin").string();
    options.count = static_cast<unsigned>(printers);
    return options;
}

void Attach(int printers, const std::filesystem::path& state) {
    std::string devices;
    for (int i = 0; i < printers; ++i) devices += (i > 0 ? ";" : "") + std::string("CARD PRINTER");
    setenv("FWSIM_DEVICES", devices.c_str(), 1);
    std::filesystem::create_directories(state);
    setenv("FWSIM_STATE_DIR", state.c_str(), 1);
}

struct Flashed {
    double seconds = 0;
    double redrawsPerTilePerSecond = 0;
    bool passed = false;
};

Flashed Flash(const std::filesystem::path& work, int printers) {
    Attach(printers, work / ("state-" + std::to_string(printers)));
    StationWindowServices services;
    services.workerProgram = FWLOAD_CLI;
    StationWindow window(Options(work, printers), services);
    window.show();
    const long paints = TileWidget::Paints();
    const auto start = Clock::now();
    Flashed result;
    if (!window.StartStation()) return result;
    result.passed = RunUntil([&] { return window.Model()->Finished(); }, 120) &&
                    window.Model()->Counts().passed == static_cast<std::size_t>(printers);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.redrawsPerTilePerSecond = static_cast<double>(TileWidget::Paints() - paints) / printers / result.seconds;
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("FWSIM_LATENCY_MS", "1", 1);
    setenv("FWSIM_RESTART_CALLS", "0", 1);
    QApplication application(argc, argv);
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("station-window-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(work);
    {
        std::ofstream file(work / "demo.bin", std::ios::binary);
        file << "[NOV Card Printer]";
        for (int i = 0; i < 65536; ++i) file.put(static_cast<char>(i * 7));
    }
    std::printf("%-34s %10s %14s %22s\n", "case", "wall s", "against one", "redraws per tile per s");
    const Flashed one = Flash(work, 1);
    const Flashed sixteen = Flash(work, 16);
    for (const auto& [name, result] : {std::pair<const char*, Flashed>{"1 printer, from the window", one},
                                       {"16 printers, from the window", sixteen}}) {
        if (!result.passed) {
            std::printf("%-34s did not pass (is LD_LIBRARY_PATH pointing at build/sim?)\n", name);
            continue;
        }
        std::printf("%-34s %10.2f %14.2f %22.1f\n", name, result.seconds,
                    one.passed ? result.seconds / one.seconds : 0.0, result.redrawsPerTilePerSecond);
    }
    // Waiting: no printer attached, the window polling and listing the bus.
    Attach(0, work / "state-none");
    {
        StationWindowServices services;
        services.workerProgram = FWLOAD_CLI;
        StationWindow window(Options(work, 1), services);
        window.show();
        window.StartStation();
        const double before = OwnCpuSeconds();
        const auto start = Clock::now();
        RunUntil([] { return false; }, 10);
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("\nwaiting for printers: %.3f s of CPU in %.1f s, %.2f %% of a core\n", OwnCpuSeconds() - before,
                    wall, 100.0 * (OwnCpuSeconds() - before) / wall);
    }
    std::filesystem::remove_all(work);
    return one.passed && sixteen.passed ? 0 : 1;
}
