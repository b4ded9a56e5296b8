// The fault matrix: the real engine against the virtual printer's real libraries, for every fault
// the printer can inject, at every stage where it makes sense. For each case: the final status
// text, the message boxes, the file and the link closed, the SDK library released, and a second
// download right after it that succeeds. The printer runs in real time; the window's clock
// (Timer1 and plain sleeps) runs 50 times faster, so a 60-second wait takes 1.2 seconds. Built a
// second time for the USB path (the free D2XX library on libftdi1 on the printer's USB face), it
// runs the faults of the exchange itself there.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "KX47XX_Dyn.h"
#include "MessageBoxRecorder.h"
#include "RealTimeHost.h"
#include "SimEnvironment.h"
#include "TempDir.h"

namespace {

#if defined(FAULT_MATRIX_USB)
constexpr bool kUsbPath = true;
#else
constexpr bool kUsbPath = false;
#endif

constexpr int kClockSpeed = 50;
constexpr std::size_t kImageBytes = 1600;  // data frames 0 to 3, the last one short

// A window that can press Stop, or touch the firmware file, when a status text first appears.
class MatrixHost : public RealTimeHost {
public:
    MatrixHost() : RealTimeHost(kClockSpeed) {}
    std::string stopAt;
    std::string fileActionAt;
    std::function<void()> fileAction;

protected:
    void StatusChanged(const std::string& text) override {
        if (!stopAt.empty() && text.rfind(stopAt, 0) == 0) stopArmed_ = true;
        if (fileAction && text.rfind(fileActionAt, 0) == 0) std::exchange(fileAction, nullptr)();
    }
    void PollInput() override {
        if (stopArmed_ && StopEnabled()) {
            stopArmed_ = false;
            stopAt.clear();
            engine()->BtnCancelClick();
        }
    }

private:
    bool stopArmed_ = false;
};

struct MatrixCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> settings;  // FWSIM_* for the faulty download
    std::string stopAt;
    std::string fileActionAt;
    std::function<void(const std::string& file)> fileAction;
    std::string expectedStatus;
    std::vector<std::string> expectedBoxes;
};

const char kFailure[] = "Status: Download Failure!!...";
const char kDone[] = "Status: Initialization complete!!...";
const char kInitializing[] = "Status: Initializing!!...";

std::vector<MatrixCase> Cases() {
    using S = std::vector<std::pair<std::string, std::string>>;
    const auto faults = [](const std::string& f) { return S{{"FWSIM_FAULTS", f}}; };
    std::vector<MatrixCase> cases = {
        {"no device", S{{"FWSIM_DEVICES", ""}}, "", "", nullptr, "Status", {"Error: USB device not found."}},
        {"count failure", faults("count-error"), "", "", nullptr, "Status", {"Error: Get device count error."}},
        {"first of two printers does not open", S{{"FWSIM_DEVICES", "CARD PRINTER;CARD PRINTER"}, {"FWSIM_FAULTS", "open-error:0"}},
         "", "", nullptr, kDone, {}},
        {"only printer does not open", faults("open-error:0"), "", "", nullptr, "Status", {"Error: Card Printer not found."}},
        {"corrupted reply CRC at poll", faults("corrupt:poll"), "", "", nullptr, kFailure, {}},
        {"garbage reply to mode change", faults("corrupt:mode"), "", "", nullptr, kFailure, {}},
        {"1 short write of a frame", faults("short:1:1"), "", "", nullptr, kDone, {}},
        {"3 short writes of a frame", faults("short:1:3"), "", "", nullptr, kDone, {}},
        {"4 short writes of a frame", faults("short:1:4"), "", "", nullptr, kFailure, {}},
        {"over-long reply to a data frame", faults("overlong:data:2"), "", "", nullptr, kDone, {}},
        {"over-long reply to the mode change", faults("overlong:mode"), "", "", nullptr, kDone, {}},
        {"every reply split across reads", faults("split:poll,split:data,split:write,split:checksum"), "", "", nullptr,
         kDone, {}},
        {"printer unplugged mid-download", faults("vanish:data:2"), "", "", nullptr, kFailure, {}},
        {"checksum mismatch", faults("code:checksum:31"), "", "", nullptr, kFailure, {}},
        {"Stop during the mode change reply", S{{"FWSIM_LATENCY_MS", "40"}}, "Status: Ready to download(mode change).", "", nullptr, kFailure, {}},
        {"Stop during the pause before polling", {}, "Status: Ready to download(mode change).", "", nullptr, kFailure, {}},
        {"Stop during the poll reply", S{{"FWSIM_LATENCY_MS", "40"}}, "Status: Ready to download(Polling).", "", nullptr, kFailure, {}},
        {"Stop during a data frame reply", S{{"FWSIM_LATENCY_MS", "40"}}, "Status: Downloading( 1,024", "", nullptr, kFailure, {}},
        {"Stop during the display set-up", S{{"FWSIM_RESTART_CALLS", "1000"}}, kInitializing, "", nullptr, kInitializing, {}},
        {"SDK: status never answers (then Stop)", faults("sdk-fail:Get_StatusEx"), kInitializing, "", nullptr, kInitializing, {}},
        {"SDK: text line write fails", faults("sdk-fail:UserLCDMemoryWrite"), "", "", nullptr, kInitializing, {}},
        {"SDK: image line write fails", faults("sdk-fail:UserLCDMemoryWriteEx"), "", "", nullptr, kInitializing, {}},
        {"SDK: display switch fails (not examined)", faults("sdk-fail:LCD_DISPLAY"), "", "", nullptr, kDone, {}},
        {"firmware file deleted during the download", {}, "", "Status: Download now.",
         [](const std::string& file) { std::filesystem::remove(file); }, kDone, {}},
        // Whatever happens to the file, the printer gets it as it was when the download began.
        {"firmware file cut at a frame boundary", {}, "", "Status: Downloading( 512",
         [](const std::string& file) { std::filesystem::resize_file(file, 18 + 1024); }, kDone, {}},
        {"firmware file cut mid-frame", {}, "", "Status: Downloading( 512",
         [](const std::string& file) { std::filesystem::resize_file(file, 18 + 700); }, kDone, {}},
        {"firmware file grown", {}, "", "Status: Downloading( 512",
         [](const std::string& file) { std::ofstream(file, std::ios::app) << std::string(1000, 'G'); }, kDone, {}},
        {"firmware file rewritten in place", {}, "", "Status: Downloading( 512",
         [](const std::string& file) {
             std::ofstream(file, std::ios::trunc) << "[NOV Card Printer]" << std::string(kImageBytes, 'R');
         },
         kDone, {}},
        {"firmware file made unreadable during the download", {}, "", "Status: Download now.",
         [](const std::string& file) { chmod(file.c_str(), 0); }, kDone, {}},
    };
    struct Stage {
        const char* name;
        const char* spec;
    };
    const Stage stages[] = {{"mode change", "mode"}, {"poll", "poll"}, {"first data frame", "data:0"},
                            {"middle data frame", "data:1"}, {"last data frame", "data:3"},
                            {"write to memory", "write"}, {"checksum", "checksum"}};
    for (const Stage& stage : stages) {
        cases.push_back({std::string("NAK at ") + stage.name, faults(std::string("nak:") + stage.spec), "", "", nullptr, kFailure, {}});
        cases.push_back({std::string("silence at ") + stage.name, faults(std::string("silence:") + stage.spec), "", "", nullptr, kFailure, {}});
    }
    if (!kUsbPath) return cases;
    // The USB path: the faults of the exchange, and a halted endpoint.
    std::vector<MatrixCase> exchange;
    for (MatrixCase& c : cases) {
        const bool stageFault = c.settings.size() == 1 && c.settings[0].first == "FWSIM_FAULTS" && c.stopAt.empty() &&
                                !c.fileAction && c.settings[0].second.rfind("sdk-fail", 0) != 0 &&
                                c.settings[0].second.rfind("count-error", 0) != 0;
        if (stageFault) exchange.push_back(std::move(c));
    }
    exchange.push_back({"endpoint stalls at the poll", faults("stall:poll"), "", "", nullptr, kFailure, {}});
    return exchange;
}

class FaultMatrix : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadD2XXLibrary()); }
    static void TearDownTestSuite() { UnloadD2XXLibrary(); }

    void Reset() {
        sim.Set("FWSIM_RESTART_CALLS", "1");
        for (const char* name : {"FWSIM_DEVICES", "FWSIM_FAULTS"}) RemoveEnvironmentValue(name);
        sim.Set("FWSIM_LATENCY_MS", "1");
    }

    static std::string Image() {
        std::string image;
        for (std::size_t i = 0; i < kImageBytes; ++i) image += static_cast<char>(i * 13 + 5);
        return image;
    }
    std::string Firmware() { return dir.Write("firmware.bin", "[NOV Card Printer]" + Image()); }

    // The images the printers (the first one's folder and the others' below it) have stored.
    std::vector<std::string> StoredImages() const {
        std::vector<std::string> images;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(sim.StateDir())) {
            if (entry.path().filename() == "image.bin") images.push_back(ReadWholeFile(entry.path().string()));
        }
        return images;
    }
    void ForgetStoredImages() const {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(sim.StateDir())) {
            if (entry.path().filename() == "image.bin") std::filesystem::remove(entry.path());
        }
    }
    // A completed download leaves exactly the image in the printer, its last frame padded with zeros.
    bool ImageInPrinter() const {
        const std::vector<std::string> images = StoredImages();
        if (images.size() != 1) return false;
        const std::string& stored = images.front();
        return stored.size() >= kImageBytes && stored.compare(0, kImageBytes, Image()) == 0 &&
               stored.find_first_not_of('\0', kImageBytes) == std::string::npos;
    }

    // Runs one download as the Download click does; returns the final status text.
    std::string Download(const std::string& file, const std::string& stopAt = "", const std::string& fileActionAt = "",
                         std::function<void()> fileAction = nullptr) {
        MatrixHost host;
        DownloadEngine engine(host);
        host.Attach(engine);
        host.model = "KX-4700";
        host.settingsFile = settings;
        host.stopAt = stopAt;
        host.fileActionAt = fileActionAt;
        host.fileAction = std::move(fileAction);
        engine.fastReplies = fastReplies;
        engine.BeginDownload();
        engine.RunDownload(file);
        engine.EndDownload();
        fileOpenAfter = engine.FirmwareStream.IsOpen();
        return host.Status();
    }

    int OpenHandles() const {
        using Count = int (*)();
        if (kUsbPath) {
            // The USB face counts the chips claimed; libftdi1 loaded it for the free D2XX library.
            void* usb = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_NOLOAD);
            auto count = usb != nullptr ? reinterpret_cast<Count>(dlsym(usb, "FwSim_UsbOpenCount")) : nullptr;
            const int open = count != nullptr ? count() : -1;
            if (usb != nullptr) dlclose(usb);
            return open;
        }
        auto count = reinterpret_cast<Count>(platform::FindLibraryEntry(D2XXLibHandle, "FwSim_OpenHandleCount"));
        return count != nullptr ? count() : -1;
    }

    SimEnvironment sim;
    TempDir dir;
    std::string settings = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,LEFT,HELLO\n2=I,-,-,logo\n");
    bool fileOpenAfter = false;
    bool fastReplies = false;

    // Every case, its outcome against the expected one, and a download right after it.
    void RunMatrix();
};

TEST_F(FaultMatrix, EveryFaultEndsTruthfullyAndLeavesThePrinterUsable) { RunMatrix(); }

// fwload-cli --fast collects replies differently: every fault must still end the same way.
TEST_F(FaultMatrix, EveryFaultEndsTheSameWayWithRepliesReadWhenWhole) {
    fastReplies = true;
    RunMatrix();
}

void FaultMatrix::RunMatrix() {
    std::ostringstream table;
    table << std::left << std::setw(52) << "case" << std::setw(40) << "expected" << std::setw(40) << "seen"
          << "then\n";
    int failures = 0;
    for (const MatrixCase& c : Cases()) {
        Reset();
        for (const auto& [name, value] : c.settings) sim.Set(name.c_str(), value);
        const std::string file = Firmware();
        ForgetStoredImages();
        MessageBoxRecorder boxes;
        const std::string seen = Download(file, c.stopAt, c.fileActionAt,
                                          c.fileAction ? std::function<void()>([&] { c.fileAction(file); }) : nullptr);
        const std::vector<std::string> seenBoxes = boxes.Lines();
        const bool closed = !fileOpenAfter && OpenHandles() == 0 && !IsCardPrinterLinkHeld() && KX47XXLibHandle == 0;
        const bool completed = c.expectedStatus == kDone || c.expectedStatus == kInitializing;
        const bool imageRight = !completed || ImageInPrinter();

        Reset();
        const std::string again = Download(Firmware());
        const bool ok = seen == c.expectedStatus && seenBoxes == c.expectedBoxes && closed && imageRight && again == kDone;
        EXPECT_EQ(seen, c.expectedStatus) << c.name;
        EXPECT_EQ(seenBoxes, c.expectedBoxes) << c.name;
        EXPECT_TRUE(closed) << c.name << ": file, link or SDK library left open";
        EXPECT_TRUE(imageRight) << c.name << ": the printer holds another image than the file's";
        EXPECT_EQ(again, kDone) << c.name << ": the next download";
        failures += ok ? 0 : 1;
        table << std::setw(52) << c.name << std::setw(40) << (c.expectedStatus + (c.expectedBoxes.empty() ? "" : " +box"))
              << std::setw(40) << (seen + (seenBoxes.empty() ? "" : " +box")) << (again == kDone ? "next download ok" : again)
              << (ok ? "" : "   <-- MISMATCH") << "\n";
    }
    std::cout << "\n" << table.str() << Cases().size() << " cases, " << failures << " mismatches\n";
}

// Firmware files and settings files that are not what they should be: the documented behaviour
// or a clear message, never a crash or a hang.
TEST_F(FaultMatrix, BadFirmwareFiles) {
    Reset();
    const std::string notFirmware = "Error: The file is not card printer firmware file.\n\nSelect another file.";
    const std::string zeroInHeader = dir.Write("zero.bin", std::string("[NOV Card\0Printer]abc", 21));
    const std::string huge = dir.Write("huge.bin", "[NOV Card Printer]");
    std::filesystem::resize_file(huge, 2147483649ULL);
    const std::string fifo = dir.File("pipe.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string file;
        std::string status;
        std::string box;
    } cases[] = {
        {dir.Write("empty.bin", ""), "Status", notFirmware},
        {dir.Write("17.bin", "[NOV Card Printer"), "Status", notFirmware},
        {zeroInHeader, "Status", notFirmware},
        {dir.Write("header.bin", "[NOV Card Printer]"), kDone, ""},
        {huge, "Status", "Error: The file is too large for card printer firmware file.\n\nSelect another file."},
        {dir.Path(), kFailure, "Error: Cannot open file \"" + dir.Path() + "\". Is a directory."},
        {fifo, kFailure, "Error: Cannot open file \"" + fifo + "\". Not a regular file."},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder boxes;
        EXPECT_EQ(Download(c.file), c.status) << c.file;
        EXPECT_EQ(boxes.Lines(), c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box}) << c.file;
        EXPECT_EQ(OpenHandles(), 0);
    }
}

TEST_F(FaultMatrix, BadSettingsFiles) {
    Reset();
    const std::string firmware = Firmware();
    std::string manySections;
    for (int i = 0; i < 10000; ++i) manySections += "[model " + std::to_string(i) + "]\n";
    const std::string longName(5000, 'N');
    const std::string longValue = "T,R,LEFT," + std::string(5000, 'V');
    std::string noise;
    for (int i = 0; i < 100000; ++i) noise += static_cast<char>((i * 7919) >> 3);
    struct Case {
        std::string name;
        std::string settingsFile;
        std::string model;
        std::string status;
        std::string firstLine;  // what display line 0 holds afterwards
    } cases[] = {
        {"missing", dir.File("missing.ini"), "KX-4700", kDone, ""},
        {"a directory", dir.Path(), "KX-4700", kDone, ""},
        {"binary", dir.Write("binary.ini", noise), "KX-4700", kDone, ""},
        {"1 MiB single line", dir.Write("line.ini", "[KX-4700]\n1=T,R,LEFT," + std::string(1 << 20, 'L')), "KX-4700", kDone,
         std::string(2047 - 9, 'L')},
        {"10,000 sections", dir.Write("many.ini", manySections + "[KX-4700]\n1=A\n"), "KX-4700", kDone, ""},
        {"5,000-character section name", dir.Write("name.ini", "[" + longName + "]\n1=T,N,LEFT,X\n"), longName, kDone,
         "X               "},
        {"5,000-character value", dir.Write("value.ini", "[KX-4700]\n1=" + longValue + "\n"), "KX-4700", kDone,
         std::string(2047 - 9, 'V')},
        {"CR-only lines", dir.Write("cr.ini", "[KX-4700]\r1=T,N,RIGHT,CR\r"), "KX-4700", kDone, "              CR"},
        {"UTF-8 byte-order mark", dir.Write("bom.ini", "\xEF\xBB\xBF[KX-4700]\n1=T,N,LEFT,BOM\n"), "KX-4700", kDone,
         "BOM             "},
    };
    for (const Case& c : cases) {
        Reset();
        MatrixHost host;
        DownloadEngine engine(host);
        host.Attach(engine);
        host.model = c.model;
        host.settingsFile = c.settingsFile;
        engine.BeginDownload();
        engine.RunDownload(firmware);
        engine.EndDownload();
        EXPECT_EQ(host.Status(), c.status) << c.name;
        const sim::PrinterState state = sim.State();
        EXPECT_EQ(state.lines[0].text, c.firstLine) << c.name;
        sim::PrinterStore(sim.StateDir()).Update([](sim::PrinterState& s) { s = sim::PrinterState{}; });
    }
}

}  // namespace
