// What a flashing station costs: fwload-cli station against 1 to 16 virtual printers, each flashed
// with a 64 KiB image by a worker of its own, at the virtual printer's 1 ms latency and at a real
// chip's 16 ms. Per case: the wall time until every printer has ended, that time against one
// printer's, the station's own CPU time (read from /proc once its output has ended and before it is
// reaped), and each worker's CPU as a share of a core (all the children's, less the station's).
//     LD_LIBRARY_PATH=build/sim build/bench/station_benchmark
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
    double wallSeconds = 0;
    double stationCpuSeconds = 0;
    double allCpuSeconds = 0;  // the station's and its workers'
    bool passed = false;
};

// CPU time of the children reaped so far, in seconds.
double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// utime + stime of a process (its own, not its children's), in seconds.
double OwnCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Result RunStation(int printers, unsigned latencyMs, const std::string& firmware, const std::string& stateDir) {
    setenv("FWSIM_LATENCY_MS", std::to_string(latencyMs).c_str(), 1);
    const double childrenBefore = ChildrenCpuSeconds();
    std::string devices;
    for (int i = 0; i < printers; ++i) devices += (i > 0 ? ";" : "") + std::string("CARD PRINTER");
    setenv("FWSIM_DEVICES", devices.c_str(), 1);
    setenv("FWSIM_STATE_DIR", stateDir.c_str(), 1);
    int output[2];
    if (pipe(output) != 0) return {};
    const auto start = Clock::now();
    const pid_t station = fork();
    if (station == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        const std::string count = std::to_string(printers);
        execl(FWLOAD_CLI, FWLOAD_CLI, "station", "--json", "--ini", FWLOAD_INI, "-m", "KX-4700", "--count",
              count.c_str(), firmware.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    close(output[0]);
    Result result;
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.stationCpuSeconds = OwnCpuSeconds(station);  // a zombie until reaped: its times are still there
    int status = 0;
    waitpid(station, &status, 0);
    result.allCpuSeconds = ChildrenCpuSeconds() - childrenBefore;
    result.passed = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                    text.find("\"passed\":" + std::to_string(printers)) != std::string::npos;
    return result;
}

}  // namespace

int main() {
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("station-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(work);
    const std::string firmware = (work / "demo.bin").string();
    {
        std::ofstream file(firmware, std::ios::binary);
        file << "[NOV Card Printer]";
        for (int i = 0; i < 65536; ++i) file.put(static_cast<char>(i * 7));
    }
    setenv("FWSIM_RESTART_CALLS", "0", 1);
    std::printf("%-9s %-8s %8s %12s %14s %18s\n", "printers", "latency", "wall s", "against one", "station CPU s",
                "CPU per printer %");
    for (unsigned latency : {1u, 16u}) {
        double one = 0;
        for (int printers : {1, 2, 4, 8, 16}) {
            if (latency == 16 && (printers == 2 || printers == 4)) continue;
            const Result result =
                RunStation(printers, latency, firmware,
                           (work / (std::to_string(latency) + "-" + std::to_string(printers))).string());
            if (!result.passed) {
                std::printf("%-9d did not pass (is LD_LIBRARY_PATH pointing at build/sim?)\n", printers);
                continue;
            }
            if (printers == 1) one = result.wallSeconds;
            const double perPrinter = (result.allCpuSeconds - result.stationCpuSeconds) / printers / result.wallSeconds;
            std::printf("%-9d %-8s %8.2f %12.2f %14.3f %18.1f\n", printers, (std::to_string(latency) + " ms").c_str(),
                        result.wallSeconds, one > 0 ? result.wallSeconds / one : 0.0, result.stationCpuSeconds,
                        100.0 * perPrinter);
        }
    }
    std::filesystem::remove_all(work);
    return 0;
}
