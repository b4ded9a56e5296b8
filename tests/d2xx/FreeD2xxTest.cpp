// The free D2XX library on the real libftdi1, driving the virtual printer's USB face: the whole
// download from fwload-cli and from the window's engine, and the D2XX semantics the link relies on.
#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
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
    EXPECT_EQ(CloseFTDevice(), FT_OK);
}

TEST_F(FreeD2xx, FwloadCliDownloadsAndFailsTheSameWayThroughUsb) {
    const std::string firmware = dir.Write("fw.bin", "[NOV Card Printer]" + Image(2000));
    const std::string ini = dir.Write("fwload.ini", "[KX-4700]\n");
    const struct {
        const char* faults;
        int exitCode;
        const char* err;
    } cases[] = {
        {"", 0, ""},
        {"vanish:data:2", 1,
         "fwload-cli: the printer failed or was unplugged during data frame 2 (D2XX status 4, FT_IO_ERROR) after "
         "1,024 of 2,018 bytes\n"},
        {"stall:poll", 1, "fwload-cli: the printer failed or was unplugged during the poll (D2XX status 4, FT_IO_ERROR)\n"},
    };
    for (const auto& c : cases) {
        ProcessOptions options;
        options.environment = {"LD_LIBRARY_PATH=" + kStack, "FWSIM_STATE_DIR=" + sim.StateDir(),
                               "FWSIM_RESTART_CALLS=0", "FWSIM_FAULTS=" + std::string(c.faults)};
        const ProcessResult result = RunProcess(FWLOAD_CLI_PATH, {"-q", "--ini", ini, "-m", "KX-4700", firmware}, options);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.faults;
        EXPECT_EQ(result.err, c.err) << c.faults;
    }
    EXPECT_EQ(sim.State().downloads, 1);
}

}  // namespace
