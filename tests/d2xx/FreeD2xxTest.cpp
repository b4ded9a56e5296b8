// The free D2XX library on the real libftdi1, driving the virtual printer's USB face: the whole
// download from fwload-cli and from the window's engine, and the D2XX semantics the link relies on.
#include <dlfcn.h>
#include <libusb.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "GoldenVectors.h"
#include "RealTimeHost.h"
#include "SimEnvironment.h"
#include "Subprocess.h"
#include "TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using FT_SetLatencyTimerProc = FT_STATUS (*)(FT_HANDLE, std::uint8_t);
using FT_GetLatencyTimerProc = FT_STATUS (*)(FT_HANDLE, std::uint8_t*);
using FT_EE_ReadProc = FT_STATUS (*)(FT_HANDLE, void*);

const std::string kStack = D2XX_LIBRARY_DIR ":" SIM_LIBRARY_DIR "/usb:" SIM_LIBRARY_DIR;

std::string Image(std::size_t bytes) {
    std::string image;
    for (std::size_t i = 0; i < bytes; ++i) image += static_cast<char>(i * 29 + 3);
    return image;
}

class FreeD2xx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadD2XXLibrary());
        // The library the binding found must be ours on libftdi1, not the virtual printer's D2XX face.
        ASSERT_EQ(platform::FindLibraryEntry(D2XXLibHandle, "FwSim_OpenHandleCount"), nullptr);
    }
    static void TearDownTestSuite() { UnloadD2XXLibrary(); }
    void TearDown() override { CloseCardPrinter(); }

    template <typename Proc>
    static Proc Entry(const char* name) {
        return reinterpret_cast<Proc>(platform::FindLibraryEntry(D2XXLibHandle, name));
    }
    // The mode-change command, then the time until its one-byte answer is in the queue.
    static double MillisecondsToTheModeChangeReply() {
        std::memcpy(FTOutBuffer, "\x1B\x52\x44\x0D", 4);
        EXPECT_EQ(WriteFTDevice(4), 4u);
        const auto start = Clock::now();
        do {
            EXPECT_EQ(GetFTDeviceQueueStatus(), FT_OK);
        } while (FTRxQueueBytes == 0 && Clock::now() - start < std::chrono::seconds(2));
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    SimEnvironment sim;
    TempDir dir;
};

TEST_F(FreeD2xx, TheWindowsEngineDownloadsThroughLibftdiAndUsb) {
    sim.Set("FWSIM_RESTART_CALLS", "1");
    const std::string image = Image(1300);
    RealTimeHost host;
    DownloadEngine engine(host);
    host.Attach(engine);
    host.model = "KX-4700";
    host.settingsFile = dir.Write("fwload.ini", "[KX-4700]\n2=T,R,LEFT,USB\n");
    engine.BeginDownload();
    engine.RunDownload(dir.Write("fw.bin", "[NOV Card Printer]" + image));
    engine.EndDownload();
    EXPECT_EQ(host.Status(), "Status: Initialization complete!!...");
    EXPECT_EQ(sim.StoredImage().substr(0, image.size()), image);
    EXPECT_EQ(sim.State().lines[1].text, "USB             ");
    EXPECT_FALSE(IsCardPrinterLinkHeld());
}

TEST_F(FreeD2xx, ReadsQueueAndPurgeKeepTheirMeaning) {
    ASSERT_TRUE(FindCardPrinter());
    // An empty read returns after its timeout, not before, with nothing.
    ASSERT_EQ(SetFTDeviceTimeouts(60, 2000), FT_OK);
    auto start = Clock::now();
    EXPECT_EQ(ReadFTDevice(10), 0u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));

    // The latency timer is the chip's: what is set is read back, and a reply arrives within it.
    const auto setLatency = Entry<FT_SetLatencyTimerProc>("FT_SetLatencyTimer");
    const auto getLatency = Entry<FT_GetLatencyTimerProc>("FT_GetLatencyTimer");
    ASSERT_NE(setLatency, nullptr);
    ASSERT_EQ(setLatency(FTHandle, 40), FT_OK);
    std::uint8_t latency = 0;
    ASSERT_EQ(getLatency(FTHandle, &latency), FT_OK);
    EXPECT_EQ(latency, 40);
    EXPECT_LT(MillisecondsToTheModeChangeReply(), 40 + 30);
    EXPECT_EQ(FTRxQueueBytes, 1u);

    // Purging the receive side empties the library's buffer and the chip's.
    EXPECT_EQ(PurgeFTDeviceRX(), FT_OK);
    EXPECT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u);
    std::uint8_t eeprom[64] = {};
    EXPECT_EQ(Entry<FT_EE_ReadProc>("FT_EE_Read")(FTHandle, eeprom), FT_NOT_SUPPORTED);
}

TEST_F(FreeD2xx, OpensBySerialNumberAndRefusesASecondOpen) {
    sim.Set("FWSIM_DEVICES", "CARD PRINTER;CARD PRINTER");
    sim.Set("FWSIM_SERIALS", "A-1;B-2");
    ASSERT_EQ(GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(FTDeviceCount, 2u);
    ASSERT_EQ(GetFTDeviceSerial(1), FT_OK);
    EXPECT_EQ(FTDeviceSerial, "B-2");
    ASSERT_EQ(OpenCardPrinterBySerial("B-2"), FT_OK);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(D2XXSlots.FT_Open(1, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(D2XXSlots.FT_OpenEx(const_cast<char*>("nobody"), FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_FOUND);
    CloseCardPrinter();
    EXPECT_EQ(OpenCardPrinterAt(1), FT_OK);
}

TEST_F(FreeD2xx, AnUnpluggedPrinterFailsEveryLaterCallWithoutHanging) {
    ASSERT_TRUE(FindCardPrinter());
    sim.Set("FWSIM_FAULTS", "vanish:mode");
    // The printer reads its settings when it is opened: open it again with the fault armed.
    CloseCardPrinter();
    ASSERT_TRUE(FindCardPrinter());
    std::memcpy(FTOutBuffer, "\x1B\x52\x44\x0D", 4);
    WriteFTDevice(4);
    EXPECT_EQ(FTLastStatus, FT_IO_ERROR);
    EXPECT_EQ(GetFTDeviceQueueStatus(), FT_IO_ERROR);
    EXPECT_EQ(ReadFTDevice(6), 0u);
    EXPECT_EQ(FTLastStatus, FT_IO_ERROR);
    EXPECT_EQ(PurgeFTDeviceRX(), FT_IO_ERROR);
    EXPECT_EQ(SetFTDeviceLatency(2), FT_IO_ERROR);
    EXPECT_EQ(CloseFTDevice(), FT_OK);
}

TEST_F(FreeD2xx, APurgeDropsWhatTheChipHeldWithoutWaitingForTheReadersTransfer) {
    sim.Set("FWSIM_LATENCY_MS", "500");  // the chip holds a short reply, and the reader's transfer, 500 ms
    ASSERT_TRUE(FindCardPrinter());
    std::memcpy(FTOutBuffer, "\x1B\x52\x44\x0D", 4);
    ASSERT_EQ(WriteFTDevice(4), 4u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the answer is in the chip now
    const auto start = Clock::now();
    EXPECT_EQ(PurgeFTDeviceRX(), FT_OK);
    // Waiting for the reader's transfer instead of taking it back would take the rest of its
    // 250 ms (the library's limit for one read of the chip).
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(120));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u) << "a byte read before the purge survived it";
    EXPECT_LT(MillisecondsToTheModeChangeReply(), 500 + 300);
    EXPECT_EQ(FTRxQueueBytes, 1u);
}

TEST_F(FreeD2xx, AReplyOfManyPacketsArrivesWholeAtFullAndHighSpeed) {
    sim.Set("FWSIM_FAULTS", "overlong:poll");  // the poll's reply and 70,000 bytes of '0'
    golden::Bytes expected = golden::kPollAccepted;
    expected.resize(6 + 70000, '0');
    for (const char* product : {"6001", "6014"}) {
        sim.Set("FWSIM_USB_PRODUCT", product);
        ASSERT_TRUE(FindCardPrinter()) << product;
        ASSERT_EQ(SetFTDeviceTimeouts(50, 2000), FT_OK);
        std::memcpy(FTOutBuffer, golden::kModeChange.data(), 4);
        ASSERT_EQ(WriteFTDevice(4), 4u);
        ASSERT_EQ(ReadFTDevice(1), 1u) << product;
        std::copy(golden::kPoll.begin(), golden::kPoll.end(), FTOutBuffer);
        ASSERT_EQ(WriteFTDevice(5), 5u);
        golden::Bytes reply;
        for (std::uint32_t got = ReadFTDevice(65535); got > 0; got = ReadFTDevice(65535)) {
            reply.insert(reply.end(), FTInBuffer, FTInBuffer + got);
        }
        EXPECT_EQ(reply, expected) << product;
        CloseCardPrinter();
    }
}

// FT_Close takes back what is pending on the handle, as FTDI's driver cancels pending I/O: a read
// waiting for its count, and a write into a chip that takes nothing, with no timeout on either.
TEST_F(FreeD2xx, ClosingAHandleEndsTheCallWaitingOnIt) {
    const struct {
        const char* name;
        const char* faults;
        bool write;
    } cases[] = {{"read", "", false}, {"write", "hold-out", true}};
    for (const auto& c : cases) {
        sim.Set("FWSIM_FAULTS", c.faults);
        ASSERT_TRUE(FindCardPrinter()) << c.name;
        ASSERT_EQ(SetFTDeviceTimeouts(0, 0), FT_OK);  // each call waits however long
        FT_HANDLE handle = FTHandle;
        FT_STATUS callStatus = FT_OK;
        std::thread call([&] {
            std::uint8_t buffer[10] = {0x1B, 0x52, 0x44, 0x0D};
            std::uint32_t moved = 0;
            callStatus = c.write ? D2XXSlots.FT_Write(handle, buffer, 4, &moved)
                                 : D2XXSlots.FT_Read(handle, buffer, sizeof buffer, &moved);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // A close that waited for the call without bound would hang the test: give it ten seconds.
        auto closing = std::make_shared<std::promise<FT_STATUS>>();
        std::future<FT_STATUS> closed = closing->get_future();
        std::thread([closing, handle] { closing->set_value(D2XXSlots.FT_Close(handle)); }).detach();
        if (closed.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << c.name << ": FT_Close waits for the call in flight";
            std::_Exit(1);
        }
        EXPECT_EQ(closed.get(), FT_OK) << c.name;
        call.join();
        FTHandle = nullptr;
        EXPECT_EQ(callStatus, FT_INVALID_HANDLE) << c.name;
        EXPECT_EQ(D2XXSlots.FT_Close(handle), FT_INVALID_HANDLE) << c.name;
        EXPECT_EQ(OpenCardPrinterAt(0), FT_OK) << c.name;  // the port was given back
        CloseCardPrinter();
    }
}

TEST_F(FreeD2xx, ListsEachPortOfAChipAndNoDeviceItCannotRead) {
    struct Entry {
        FT_STATUS status;
        std::string description;
        std::string serial;
    };
    const struct {
        const char* product;
        const char* faults;
        std::vector<Entry> entries;
    } cases[] = {
        {"6001", "", {{FT_OK, "CARD PRINTER", "FWSIM1000"}}},
        {"6010", "", {{FT_OK, "CARD PRINTER A", "FWSIM1000A"}, {FT_OK, "CARD PRINTER B", "FWSIM1000B"}}},
        {"6011", "open-error:0", std::vector<Entry>(4, {FT_DEVICE_NOT_OPENED, "", ""})},
    };
    for (const auto& c : cases) {
        sim.Set("FWSIM_USB_PRODUCT", c.product);
        sim.Set("FWSIM_FAULTS", c.faults);
        ASSERT_EQ(GetFTDeviceCount(), FT_OK);
        ASSERT_EQ(FTDeviceCount, c.entries.size()) << c.product;
        for (std::size_t i = 0; i < c.entries.size(); ++i) {
            const auto index = static_cast<std::int32_t>(i);
            FTDeviceDescription.clear();
            FTDeviceSerial.clear();
            EXPECT_EQ(GetFTDeviceDescription(index), c.entries[i].status) << c.product << " " << i;
            EXPECT_EQ(GetFTDeviceSerial(index), c.entries[i].status) << c.product << " " << i;
            if (c.entries[i].status != FT_OK) continue;
            EXPECT_EQ(FTDeviceDescription, c.entries[i].description);
            EXPECT_EQ(FTDeviceSerial, c.entries[i].serial);
        }
    }
    // Each port opens as itself: port B's requests carry its index, and port A stays free.
    sim.Set("FWSIM_USB_PRODUCT", "6010");
    sim.Set("FWSIM_FAULTS", "");
    ASSERT_EQ(OpenCardPrinterAt(1), FT_OK);
    EXPECT_EQ(SetFTDeviceLatency(5), FT_OK);
    FT_HANDLE portA = nullptr;
    EXPECT_EQ(D2XXSlots.FT_Open(0, &portA), FT_OK);
    EXPECT_EQ(D2XXSlots.FT_Close(portA), FT_OK);
}

TEST_F(FreeD2xx, FwloadCliListsWhatItCannotReadAndTheListFilesBadLines) {
    const std::string bad = dir.Write("bad-devices", "0:0\n");
    const std::string advice =
        "fwload-cli: a device that cannot be read is one this user has no access to: install the udev rule of the "
        "cardprinter-suite-d2xx package (or another that gives access to the device), then unplug the device and "
        "plug it in again\n";
    // The location is the port path libusb tells: bus, then a port per hub tier.
    const struct {
        const char* faults;
        std::string deviceList;
        const char* locations;
        std::string out;
        std::string err;
    } cases[] = {
        {"", "", "", "0\t\"CARD PRINTER\"\tFWSIM1000\tcard printer\t1-1\n", ""},
        {"open-error:0", "", "", "0\t(cannot be read)\t-\tnot a card printer\t1-1\n", advice},
        {"", bad, "3-2.4.1", "0\t\"CARD PRINTER\"\tFWSIM1000\tcard printer\t3-2.4.1\n",
         "libftd2xx: " + bad + ":1: \"0:0\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped\n"},
    };
    for (const auto& c : cases) {
        ProcessOptions options;
        options.environment = {"LD_LIBRARY_PATH=" + kStack, "FWSIM_STATE_DIR=" + sim.StateDir(),
                               "FWSIM_FAULTS=" + std::string(c.faults), "CARDPRINTER_D2XX_DEVICES=" + c.deviceList,
                               "FWSIM_LOCATIONS=" + std::string(c.locations)};
        const ProcessResult result = RunProcess(FWLOAD_CLI_PATH, {"--list"}, options);
        EXPECT_EQ(result.exitCode, 0) << c.faults;
        EXPECT_EQ(result.out, c.out) << c.faults;
        EXPECT_EQ(result.err, c.err) << c.faults;
    }
}

// cardprinter-sim reaches the virtual printer whether or not the free D2XX library sits beside the
// program (where the programs look first).
TEST_F(FreeD2xx, CardprinterSimReachesTheVirtualPrinterWithOrWithoutALibraryBesideTheProgram) {
    const std::string beside = dir.File("beside");
    std::filesystem::create_directories(beside);
    std::filesystem::copy_file(FWLOAD_CLI_PATH, beside + "/fwload-cli");
    std::filesystem::copy_file(D2XX_LIBRARY_DIR "/libftd2xx.so", beside + "/libftd2xx.so");
    const std::string state = dir.File("state");
    const std::string firmware = dir.Write("fw.bin", "[NOV Card Printer]" + Image(700));
    const std::string ini = dir.Write("fwload.ini", "[KX-4700]\n");
    for (const std::string& program : {std::string(FWLOAD_CLI_PATH), beside + "/fwload-cli"}) {
        ProcessOptions options;
        options.environment = {"FWSIM_STATE_DIR=" + state, "FWSIM_RESTART_CALLS=0"};
        options.unset = {"LD_LIBRARY_PATH"};
        const ProcessResult list = RunProcess(SIM_LIBRARY_DIR "/cardprinter-sim", {program, "--list"}, options);
        EXPECT_EQ(list.out, "0\t\"CARD PRINTER\"\tFWSIM1000\tcard printer\t1-1\n") << program;
        EXPECT_EQ(list.err, "cardprinter-sim: virtual printer(s) attached: CARD PRINTER; state in " + state + "\n");
        const ProcessResult download = RunProcess(SIM_LIBRARY_DIR "/cardprinter-sim",
                                                  {program, "-q", "--ini", ini, "-m", "KX-4700", firmware}, options);
        EXPECT_EQ(download.exitCode, 0) << program << download.err;
    }
    EXPECT_EQ(sim::PrinterStore(state).Load().downloads, 2);
    // Each run took its note of the printer it opened away as it ended.
    for (const auto& entry : std::filesystem::directory_iterator(state)) {
        EXPECT_NE(entry.path().filename().string().rfind("opened-by-", 0), 0u) << entry.path();
    }
}

// The stand-in libusb holds us to libusb's rules on contexts, so that no test passes on code the
// real library would crash in.
TEST(StandInLibusb, StopsOnWhatTheRealLibraryWouldCrashOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    void* usb = dlopen("libusb-1.0.so.0", RTLD_NOW);
    ASSERT_NE(dlsym(usb, "FwSim_UsbOpenCount"), nullptr) << "not the stand-in";
    const auto init = reinterpret_cast<int (*)(libusb_context**)>(dlsym(usb, "libusb_init"));
    const auto exit = reinterpret_cast<void (*)(libusb_context*)>(dlsym(usb, "libusb_exit"));
    const auto list = reinterpret_cast<ssize_t (*)(libusb_context*, libusb_device***)>(dlsym(usb, "libusb_get_device_list"));
    const auto open = reinterpret_cast<int (*)(libusb_device*, libusb_device_handle**)>(dlsym(usb, "libusb_open"));
    const auto close = reinterpret_cast<void (*)(libusb_device_handle*)>(dlsym(usb, "libusb_close"));
    const auto claim = reinterpret_cast<int (*)(libusb_device_handle*, int)>(dlsym(usb, "libusb_claim_interface"));
    const auto openFirst = [&](libusb_context*& context) {
        init(&context);
        libusb_device** devices = nullptr;
        list(context, &devices);
        libusb_device_handle* handle = nullptr;
        open(devices[0], &handle);
        return handle;
    };
    const struct {
        const char* misuse;
        std::function<void()> run;
        const char* message;
    } cases[] = {
        {"exit with a handle open", [&] { libusb_context* c; openFirst(c); exit(c); },
         "libusb_exit with 1 device handle\\(s\\) still open in that context"},
        {"handle used after close", [&] { libusb_context* c; auto* h = openFirst(c); close(h); claim(h, 0); },
         "a device handle used after libusb_close"},
        {"context used after exit", [&] { libusb_context* c; init(&c); exit(c); libusb_device** d; list(c, &d); },
         "a context used after libusb_exit"},
    };
    for (const auto& c : cases) EXPECT_DEATH(c.run(), c.message) << c.misuse;
}

TEST_F(FreeD2xx, FwloadCliDownloadsAndFailsTheSameWayThroughUsb) {
    const std::string firmware = dir.Write("fw.bin", "[NOV Card Printer]" + Image(2000));
    const std::string ini = dir.Write("fwload.ini", "[KX-4700]\n");
    const struct {
        std::string environment;
        std::vector<std::string> choice;
        int exitCode;
        std::string err;
    } cases[] = {
        {"", {}, 0, ""},
        {"FWSIM_FAULTS=vanish:data:2", {}, 1,
         "fwload-cli: the printer failed or was unplugged during data frame 2 (D2XX status 4, FT_IO_ERROR) after "
         "1,024 of 2,018 bytes\n"},
        {"FWSIM_FAULTS=stall:poll", {}, 1,
         "fwload-cli: the printer failed or was unplugged during the poll (D2XX status 4, FT_IO_ERROR)\n"},
        {"FWSIM_LOCATIONS=2-3.1", {"--location", "2-3.1"}, 0, ""},
        {"", {"--location", "1-2"}, 3, "fwload-cli: no device is attached at location 1-2\n"},
        // The ports of one chip share its place on the bus.
        {"FWSIM_USB_PRODUCT=6010", {"--location", "1-1"}, 3,
         "fwload-cli: 2 devices share location 1-1 (the ports of one chip); choose one with --serial\n"
         "  0\t\"CARD PRINTER A\"\tFWSIM1000A\tnot a card printer\t1-1\n"
         "  1\t\"CARD PRINTER B\"\tFWSIM1000B\tnot a card printer\t1-1\n"},
    };
    for (const auto& c : cases) {
        ProcessOptions options;
        options.environment = {"LD_LIBRARY_PATH=" + kStack, "FWSIM_STATE_DIR=" + sim.StateDir(),
                               "FWSIM_RESTART_CALLS=0"};
        if (!c.environment.empty()) options.environment.push_back(c.environment);
        std::vector<std::string> arguments = {"-q", "--ini", ini, "-m", "KX-4700", firmware};
        arguments.insert(arguments.begin(), c.choice.begin(), c.choice.end());
        const ProcessResult result = RunProcess(FWLOAD_CLI_PATH, arguments, options);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.environment;
        EXPECT_EQ(result.err, c.err) << c.environment;
    }
    EXPECT_EQ(sim.State().downloads, 2);
}

}  // namespace
