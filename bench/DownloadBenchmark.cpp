// How close a download into the virtual printer comes to the protocol's own floor, and what it
// costs in CPU and memory. Each case runs in a child process of its own, so that its peak memory
// is its own. Each download runs through the virtual printer's D2XX face, and again through the
// free D2XX library on libftdi1 on the printer's USB face. Run with the loader pointed at both:
//     LD_LIBRARY_PATH=build/sim:build/sim/usb build/bench/download_benchmark
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "RealTimeHost.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kReadTimeoutMs = 10;
constexpr unsigned kWriteToMemoryMs = 20;
constexpr unsigned kPausesMs = 2000 + 100;

struct Case {
    const char* name;
    std::size_t imageBytes;
    unsigned latencyMs;
    bool usb;            // through the free D2XX library, libftdi1 and the USB face
    bool fast = false;   // fwload-cli --fast: replies read when whole, latency timer at 1 ms
    bool yield = false;  // fwload-cli's host: it gives the processor up while a reply is on its way
};

struct Result {
    double wallSeconds = 0;
    double dataSeconds = 0;  // "Status: Download now." to "Status: Write to memory."
    double cpuSeconds = 0;
    long peakKiB = 0;
    bool complete = false;
};

// Times the download from the first frame to "Status: Download complete!!...".
class BenchmarkHost : public RealTimeHost {
public:
    Clock::time_point firstFrame{};
    Clock::time_point dataStart{};
    Clock::time_point dataEnd{};
    Clock::time_point complete{};
    bool fast = false;

    // As fwload-cli --fast does: the chip's latency timer at 1 ms for the download.
    bool FindPrinter() override {
        if (!RealTimeHost::FindPrinter()) return false;
        if (fast) SetFTDeviceLatency(1);
        return true;
    }

protected:
    void StatusChanged(const std::string& text) override {
        if (text == status_text::kModeChange) firstFrame = Clock::now();
        if (text == status_text::kDownloadNow) dataStart = Clock::now();
        if (text == status_text::kWriteToMemory) dataEnd = Clock::now();
        if (text == status_text::kComplete) complete = Clock::now();
    }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Result RunCase(const Case& c, const std::filesystem::path& folder) {
    const std::filesystem::path firmware = folder / "image.bin";
    {
        std::ofstream out(firmware, std::ios::binary);
        out << "[NOV Card Printer]";
        for (std::size_t i = 0; i < c.imageBytes; ++i) out.put(static_cast<char>((i * 31) & 0xFF));
    }
    setenv("FWSIM_LATENCY_MS", std::to_string(c.latencyMs).c_str(), 1);
    setenv("FWSIM_WRITE_MS", std::to_string(kWriteToMemoryMs).c_str(), 1);
    setenv("FWSIM_RESTART_CALLS", "0", 1);
    setenv("FWSIM_STATE_DIR", (folder / "state").c_str(), 1);

    Result result;
    if (c.usb) {
        // By its path: the loader's search would find the D2XX face first.
        D2XXLibHandle = platform::LoadLibraryByName(FREE_D2XX_LIBRARY);
        if (!platform::IsLoadedHandle(D2XXLibHandle) || !ResolveD2XXEntryPoints(D2XXLibHandle)) return result;
    } else if (!LoadD2XXLibrary()) {
        return result;
    }
    BenchmarkHost host;
    DownloadEngine engine(host);
    host.Attach(engine);
    host.fast = c.fast;
    host.yieldAwaitingReplies = c.yield;
    engine.fastReplies = c.fast;
    host.settingsFile = (folder / "none.ini").string();
    const double cpuBefore = CpuSeconds();
    engine.BeginDownload();
    engine.RunDownload(firmware.string());
    engine.EndDownload();
    result.cpuSeconds = CpuSeconds() - cpuBefore;
    result.complete = host.complete != Clock::time_point{};
    result.wallSeconds = std::chrono::duration<double>(host.complete - host.firstFrame).count();
    result.dataSeconds = std::chrono::duration<double>(host.dataEnd - host.dataStart).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    result.peakKiB = usage.ru_maxrss;
    return result;
}

// The least time the exchange can take: per reply the printer's latency plus the two read timeouts
// that collect it (the read asking for 65,535 bytes returns only when the timeout passes, and the
// empty read that ends the reply waits another), plus the two pauses and the memory write.
double FloorSeconds(const Case& c) {
    const std::size_t dataFrames = c.imageBytes / 512 + 1;
    const std::size_t replies = 2 + dataFrames + 2;
    const double perReplyMs = c.latencyMs + 2.0 * kReadTimeoutMs;
    return (replies * perReplyMs + kPausesMs + kWriteToMemoryMs) / 1000.0;
}

}  // namespace

int main() {
    const Case cases[] = {
        {"64 KiB, 1 ms, D2XX", 64 * 1024, 1, false},
        {"64 KiB, 1 ms, USB", 64 * 1024, 1, true},
        {"64 KiB, 16 ms, D2XX", 64 * 1024, 16, false},
        {"64 KiB, 16 ms, USB", 64 * 1024, 16, true},
        {"1 MiB, 1 ms, D2XX", 1024 * 1024, 1, false},
        {"1 MiB, 1 ms, USB", 1024 * 1024, 1, true},
        {"1 MiB, 16 ms, D2XX", 1024 * 1024, 16, false},
        {"1 MiB, 16 ms, USB", 1024 * 1024, 16, true},
        {"64 KiB, 1 ms, fast", 64 * 1024, 1, false, true},
        {"64 KiB, 16 ms, fast", 64 * 1024, 16, false, true},
        {"1 MiB, 1 ms, fast", 1024 * 1024, 1, false, true},
        {"1 MiB, 16 ms, fast", 1024 * 1024, 16, false, true},
        // As fwload-cli runs them: the same loop, yielding while a reply is on its way.
        {"64 KiB, 1 ms, cli", 64 * 1024, 1, false, false, true},
        {"64 KiB, 16 ms, cli", 64 * 1024, 16, false, false, true},
        {"64 KiB, 16 ms, cli USB", 64 * 1024, 16, true, false, true},
        {"64 KiB, 1 ms, cli fast", 64 * 1024, 1, false, true, true},
        {"64 KiB, 16 ms, cli fast", 64 * 1024, 16, false, true, true},
    };
    std::printf("%-24s %9s %9s %7s %8s %7s %9s %8s %12s\n", "case", "wall s", "floor s", "ratio", "CPU s", "CPU %",
                "peak KiB", "data s", "ms per frame");
    int failures = 0;
    for (const Case& c : cases) {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("fwload-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return 2;
        const pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            const Result result = RunCase(c, folder);
            const ssize_t written = write(pipeEnds[1], &result, sizeof result);
            _exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
        }
        close(pipeEnds[1]);
        Result result;
        const bool received = read(pipeEnds[0], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
        close(pipeEnds[0]);
        waitpid(child, nullptr, 0);
        std::filesystem::remove_all(folder);
        if (!received || !result.complete) {
            std::printf("%-24s did not complete (is LD_LIBRARY_PATH pointing at build/sim and build/sim/usb?)\n",
                        c.name);
            ++failures;
            continue;
        }
        const double floor = FloorSeconds(c);
        const double dataFrames = static_cast<double>(c.imageBytes / 512 + 1);
        std::printf("%-24s %9.3f %9.3f %7.3f %8.3f %7.1f %9ld %8.3f %12.2f\n", c.name, result.wallSeconds, floor,
                    result.wallSeconds / floor, result.cpuSeconds, 100.0 * result.cpuSeconds / result.wallSeconds,
                    result.peakKiB, result.dataSeconds, result.dataSeconds * 1000.0 / dataFrames);
    }
    std::printf(
        "\nThe virtual printer runs in the same process and keeps the image it receives, so peak memory\n"
        "includes its copy of the image (64 KiB or 1 MiB); the loader itself reads 512 bytes at a time.\n");
    return failures == 0 ? 0 : 1;
}
