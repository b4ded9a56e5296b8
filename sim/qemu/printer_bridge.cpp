// The virtual printer behind QEMU's FTDI chip model: connects to the Unix socket of the chip's
// character device and answers what the guest's host writes, as the printer's loader does. The
// printer keeps its state in FOLDER (its image, as the virtual printer's faces keep it); every byte
// the host sends is appended to FOLDER/wire.bin; FOLDER/faults, when it changes, sets the faults
// (FWSIM_FAULTS syntax) and restarts the loader.
//     printer_bridge SOCKET FOLDER
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "Loader.h"
#include "SimConfig.h"

namespace {

using Clock = std::chrono::steady_clock;

int Connect(const std::string& path) {
    for (int attempt = 0; attempt < 600; ++attempt) {  // QEMU makes the socket as it starts
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    std::string faults = text.str();
    while (!faults.empty() && (faults.back() == '\n' || faults.back() == ' ')) faults.pop_back();
    return faults;
}

struct Printer {
    explicit Printer(const std::string& folder) : folder_(folder) { Reload(); }

    // The faults file changed since the last look: a new configuration and a fresh loader.
    void ReloadIfChanged() {
        struct stat info {};
        const long long stamp = stat((folder_ + "/faults").c_str(), &info) == 0
                                    ? static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec
                                    : -1;
        if (stamp != faultsStamp_) {
            faultsStamp_ = stamp;
            Reload();
        }
    }

    sim::Config& Config() { return *config_; }
    sim::Loader& Loader() { return *loader_; }

private:
    void Reload() {
        const std::string faults = ReadFile(folder_ + "/faults");
        config_ = std::make_unique<sim::Config>(sim::BehindChip(sim::ParseConfig([&](const char* name) -> const char* {
            if (std::strcmp(name, "FWSIM_STATE_DIR") == 0) return folder_.c_str();
            if (std::strcmp(name, "FWSIM_FAULTS") == 0) return faults.c_str();
            if (std::strcmp(name, "FWSIM_RESTART_CALLS") == 0) return "0";
            return nullptr;
        })));
        for (const std::string& problem : config_->problems) std::fprintf(stderr, "printer_bridge: bad setting %s\n", problem.c_str());
        loader_ = std::make_unique<sim::Loader>(*config_);
    }

    std::string folder_;
    long long faultsStamp_ = -2;
    std::unique_ptr<sim::Config> config_;
    std::unique_ptr<sim::Loader> loader_;
};

struct Due {
    Clock::time_point at;
    std::vector<std::uint8_t> bytes;
};

// Answers the chip's bytes until QEMU closes the connection.
void Serve(int fd, Printer& printer, std::ofstream& wire) {
    std::deque<Due> due;
    std::uint8_t buffer[4096];
    for (;;) {
        int waitMs = -1;
        if (!due.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due.front().at - Clock::now());
            waitMs = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, waitMs) < 0) return;
        while (!due.empty() && due.front().at <= Clock::now()) {
            const std::vector<std::uint8_t>& bytes = due.front().bytes;
            if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return;
            due.pop_front();
        }
        if ((watch.revents & (POLLIN | POLLHUP)) == 0) continue;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) return;
        printer.ReloadIfChanged();
        wire.write(reinterpret_cast<const char*>(buffer), got);
        wire.flush();
        if (printer.Loader().Vanished()) continue;
        const auto now = Clock::now();
        for (sim::LoaderReply& reply : printer.Loader().Receive(buffer, static_cast<std::size_t>(got))) {
            due.push_back({now + std::chrono::milliseconds(reply.delayMs), std::move(reply.bytes)});
        }
        if (std::optional<sim::CompletedImage> image = printer.Loader().TakeCompletedImage()) {
            sim::RecordCompletedDownload(printer.Config(), 0, *image);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: printer_bridge SOCKET FOLDER\n");
        return 2;
    }
    const std::string folder = argv[2];
    Printer printer(folder);
    std::ofstream wire(folder + "/wire.bin", std::ios::binary | std::ios::app);
    // A QEMU that goes away may be followed by another on the same socket path.
    for (;;) {
        const int fd = Connect(argv[1]);
        if (fd < 0) return 0;
        Serve(fd, printer, wire);
        close(fd);
    }
}
