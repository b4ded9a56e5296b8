// How long the free D2XX library keeps a caller waiting: from opening the printer to the answer to
// the mode change, and each control call (purge, reset, latency timer) while the library's reader
// has a transfer out at the chip, at the chip's latency timer of 1 and 16 ms. Runs through the
// virtual printer's USB face:
//     LD_LIBRARY_PATH=build/sim:build/sim/usb build/bench/control_wait_benchmark
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "D2XX_Dyn.h"

namespace {

using Clock = std::chrono::steady_clock;
using FT_SetLatencyTimerProc = FT_STATUS (*)(FT_HANDLE, std::uint8_t);

constexpr int kOpens = 20;
constexpr int kCalls = 50;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

struct Summary {
    double mean, median, worst;
};

Summary Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size()),
            values[values.size() / 2], values.back()};
}

// Opens the printer and sends the mode change; the time until its answer is queued, or -1.
double OpenToModeChange() {
    const auto start = Clock::now();
    if (!FindCardPrinter()) return -1;
    std::memcpy(FTOutBuffer, "\x1B\x52\x44\x0D", 4);
    WriteFTDevice(4);
    do {
        if (GetFTDeviceQueueStatus() != FT_OK) return -1;
    } while (FTRxQueueBytes == 0 && Clock::now() - start < std::chrono::seconds(5));
    const double ms = FTRxQueueBytes > 0 ? Milliseconds(Clock::now() - start) : -1;
    CloseCardPrinter();
    return ms;
}

// Each call's time, spread over the reader's transfer period.
std::vector<double> CallWaits(const std::function<FT_STATUS()>& call, unsigned latencyMs) {
    std::vector<double> waits;
    for (int i = 0; i < kCalls; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(latencyMs * 1000 * static_cast<unsigned>(i % 7) / 7 + 300));
        const auto start = Clock::now();
        if (call() != FT_OK) return {};
        waits.push_back(Milliseconds(Clock::now() - start));
    }
    return waits;
}

}  // namespace

int main() {
    D2XXLibHandle = platform::LoadLibraryByName(FREE_D2XX_LIBRARY);  // by path: the loader would find the D2XX face
    if (!platform::IsLoadedHandle(D2XXLibHandle) || !ResolveD2XXEntryPoints(D2XXLibHandle)) return 2;
    const auto setLatency =
        reinterpret_cast<FT_SetLatencyTimerProc>(platform::FindLibraryEntry(D2XXLibHandle, "FT_SetLatencyTimer"));
    const std::filesystem::path state =
        std::filesystem::temp_directory_path() / ("fwload-control-bench-" + std::to_string(getpid()));
    setenv("FWSIM_STATE_DIR", state.c_str(), 1);
    std::printf("%-34s %9s %9s %9s\n", "latency timer, what", "mean ms", "median ms", "worst ms");
    int failures = 0;
    for (unsigned latency : {1u, 16u}) {
        setenv("FWSIM_LATENCY_MS", std::to_string(latency).c_str(), 1);
        const auto print = [&](const char* what, const std::vector<double>& values) {
            if (values.empty() || *std::min_element(values.begin(), values.end()) < 0) {
                std::printf("%2u ms, %-27s failed (is LD_LIBRARY_PATH pointing at build/sim and build/sim/usb?)\n",
                            latency, what);
                ++failures;
                return;
            }
            const Summary s = Summarise(values);
            std::printf("%2u ms, %-27s %9.2f %9.2f %9.2f\n", latency, what, s.mean, s.median, s.worst);
        };
        std::vector<double> opens;
        for (int i = 0; i < kOpens; ++i) opens.push_back(OpenToModeChange());
        print("open to mode-change answer", opens);
        if (!FindCardPrinter()) return 1;
        print("FT_Purge(RX)", CallWaits([] { return PurgeFTDeviceRX(); }, latency));
        print("FT_ResetDevice", CallWaits([] { return ResetFTDevice(); }, latency));
        print("FT_SetLatencyTimer",
              CallWaits([&] { return setLatency(FTHandle, static_cast<std::uint8_t>(latency)); }, latency));
        CloseCardPrinter();
    }
    std::filesystem::remove_all(state);
    return failures == 0 ? 0 : 1;
}
