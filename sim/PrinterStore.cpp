// Reading and writing the virtual printer's state file.
#include "PrinterStore.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace sim {

namespace {

std::string Hex(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

// Holds an exclusive lock on the state folder's lock file for its lifetime.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) {
#if !defined(_WIN32)
        fd_ = open((folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
#else
        (void)folder;
#endif
    }
    ~FolderLock() {
#if !defined(_WIN32)
        if (fd_ >= 0) close(fd_);
#endif
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string SerializeState(const PrinterState& state) {
    std::ostringstream out;
    out << "downloads=" << state.downloads << "\n"
        << "image_length=" << state.imageLength << "\n"
        << "image_sum=" << state.imageSum << "\n"
        << "busy_calls=" << state.busyCalls << "\n"
        << "busy_until_ms=" << state.busyUntilMs << "\n";
    for (int i = 0; i < 4; ++i) {
        const DisplayLine& line = state.lines[i];
        out << "lcd" << i << "=" << (line.written ? 1 : 0) << ":" << (line.extended ? 1 : 0) << ":"
            << static_cast<int>(line.kind) << ":" << Hex(line.text) << "\n";
    }
    out << "display_on=" << (state.displayOn ? 1 : 0) << "\n"
        << "sensor_position=" << state.sensorPosition << "\n"
        << "ribbon_capacity=" << static_cast<int>(state.ribbonCapacity) << "\n"
        << "ribbon_sensor_set=" << (state.ribbonSensorSet ? 1 : 0) << "\n"
        << "configuration_saves=" << state.configurationSaves << "\n";
    return out.str();
}

PrinterState ParseState(const std::string& text) {
    PrinterState state;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        try {
            if (key == "downloads") state.downloads = std::stoi(value);
            else if (key == "image_length") state.imageLength = static_cast<std::uint32_t>(std::stoul(value));
            else if (key == "image_sum") state.imageSum = static_cast<std::uint16_t>(std::stoul(value));
            else if (key == "busy_calls") state.busyCalls = std::stoi(value);
            else if (key == "busy_until_ms") state.busyUntilMs = std::stoll(value);
            else if (key == "display_on") state.displayOn = value == "1";
            else if (key == "sensor_position") state.sensorPosition = std::stoi(value);
            else if (key == "ribbon_capacity") state.ribbonCapacity = static_cast<std::uint8_t>(std::stoi(value));
            else if (key == "ribbon_sensor_set") state.ribbonSensorSet = value == "1";
            else if (key == "configuration_saves") state.configurationSaves = std::stoi(value);
            else if (key.size() == 4 && key.compare(0, 3, "lcd") == 0 && key[3] >= '0' && key[3] <= '3') {
                DisplayLine& display = state.lines[key[3] - '0'];
                std::istringstream fields(value);
                std::string written, extended, kind, hex;
                std::getline(fields, written, ':');
                std::getline(fields, extended, ':');
                std::getline(fields, kind, ':');
                std::getline(fields, hex);
                display.written = written == "1";
                display.extended = extended == "1";
                display.kind = static_cast<std::uint8_t>(std::stoi(kind));
                display.text = Unhex(hex);
            }
        } catch (const std::exception&) {
            // A damaged entry keeps its default.
        }
    }
    return state;
}

DeviceClaim::DeviceClaim(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string path = folder + "/open.lock";
#if defined(_WIN32)
    // No sharing: a second open of the file fails while the first handle lives.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    held_ = file != INVALID_HANDLE_VALUE;
    handle_ = held_ ? reinterpret_cast<std::intptr_t>(file) : -1;
#else
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    held_ = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!held_ && fd >= 0) close(fd);
    handle_ = held_ ? fd : -1;
#endif
}

DeviceClaim::~DeviceClaim() {
    if (!held_) return;
#if defined(_WIN32)
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
#else
    close(static_cast<int>(handle_));
#endif
}

PrinterStore::PrinterStore(std::string folder) : folder_(std::move(folder)) {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
}

std::string PrinterStore::StatePath() const { return folder_ + "/state.txt"; }
std::string PrinterStore::ImagePath() const { return folder_ + "/image.bin"; }

PrinterState PrinterStore::Load() const {
    FolderLock lock(folder_);
    return ParseState(ReadFile(StatePath()));
}

void PrinterStore::Update(const std::function<void(PrinterState&)>& change) const {
    FolderLock lock(folder_);
    PrinterState state = ParseState(ReadFile(StatePath()));
    change(state);
    // Written beside and renamed, so a reader never sees half a file.
    const std::string temporary = StatePath() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << SerializeState(state);
    }
    std::error_code error;
    std::filesystem::rename(temporary, StatePath(), error);
}

void PrinterStore::SaveImage(const std::vector<std::uint8_t>& image) const {
    FolderLock lock(folder_);
    std::ofstream out(ImagePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

std::int64_t WallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace sim
