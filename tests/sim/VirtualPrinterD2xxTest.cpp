// The virtual printer's D2XX face, loaded by name through the real binding, in real time: the
// loader's side of the exchange against frames built by our own builders.
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CardPrinterSdk.h"
#include "D2XX_Dyn.h"
#include "DownloadFrames.h"
#include "MessageBoxRecorder.h"
#include "SimEnvironment.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using ::testing::ElementsAre;

Bytes Reply(std::uint8_t code, std::uint8_t letter) {
    Bytes reply(kReplyLength);
    BuildReply(reply.data(), code, letter);
    return reply;
}

class VirtualPrinterD2xx : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadD2XXLibrary()); }
    void TearDown() override { CloseCardPrinter(); }

    // Writes what a builder put in FTOutBuffer; returns the count written.
    std::uint32_t Send(std::size_t length) { return WriteFTDevice(static_cast<std::uint32_t>(length)); }

    // Waits (up to a second) for the reply to start, then reads until a read comes back empty.
    Bytes Collect() {
        const auto limit = Clock::now() + std::chrono::seconds(1);
        while (GetFTDeviceQueueStatus() == FT_OK && FTRxQueueBytes == 0 && Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        Bytes reply;
        for (std::uint32_t got = ReadFTDevice(65535); got > 0; got = ReadFTDevice(65535)) {
            reply.insert(reply.end(), FTInBuffer, FTInBuffer + got);
        }
        return reply;
    }

    Bytes SendData(std::uint16_t sequence, const Bytes& payload) {
        std::fill(FTOutBuffer, FTOutBuffer + 65535, 0);
        PutDataFrameHead(FTOutBuffer, sequence);
        std::copy(payload.begin(), payload.end(), FTOutBuffer + kDataPayloadOffset);
        EXPECT_EQ(Send(CompleteDataFrame(FTOutBuffer)), 519u);
        return Collect();
    }

    void StartLoader() {
        ASSERT_TRUE(FindCardPrinter());
        ASSERT_EQ(Send(BuildModeChangeCommand(FTOutBuffer)), 4u);
        ASSERT_EQ(Collect(), Bytes{0x06});
        ASSERT_EQ(Send(BuildPollFrame(FTOutBuffer)), 5u);
        ASSERT_EQ(Collect(), Reply(0x30, 0x40));
    }

    SimEnvironment sim;
    MessageBoxRecorder boxes;
};

TEST_F(VirtualPrinterD2xx, BindsEveryEntryPointAndDoesNotResolveTwice) {
    const auto* slots = reinterpret_cast<void* const*>(&D2XXSlots);
    for (int i = 0; i < kD2XXEntryPointCount; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i + 1;

    D2XXSlots.FT_EE_Program = nullptr;
    EXPECT_TRUE(LoadD2XXLibrary());
    EXPECT_EQ(D2XXSlots.FT_EE_Program, nullptr);

    UnloadD2XXLibrary();
    EXPECT_EQ(D2XXLibHandle, 0u);
    ASSERT_TRUE(LoadD2XXLibrary());
    EXPECT_NE(D2XXSlots.FT_EE_Program, nullptr);
}

TEST_F(VirtualPrinterD2xx, AcceptsAWholeDownloadAndKeepsTheImage) {
    StartLoader();
    EXPECT_EQ(SendData(0, {0x01, 0x02, 0x03}), Reply(0x30, 0x41));
    ASSERT_EQ(Send(BuildWriteToMemoryFrame(FTOutBuffer)), 5u);
    EXPECT_EQ(Collect(), Reply(0x30, 0x42));
    ASSERT_EQ(Send(BuildChecksumFrame(FTOutBuffer, 0x0006)), 7u);
    EXPECT_EQ(Collect(), Reply(0x30, 0x43));

    const sim::PrinterState state = sim.State();
    EXPECT_EQ(state.downloads, 1);
    EXPECT_EQ(state.imageSum, 0x0006);
    Bytes expected(512, 0);
    expected[0] = 1;
    expected[1] = 2;
    expected[2] = 3;
    const std::string image = sim.StoredImage();
    EXPECT_EQ(Bytes(image.begin(), image.end()), expected);

    // The same printer, seen through the SDK face: restarting for two status queries, then ready.
    const platform::LibraryHandle sdk = platform::LoadLibraryByName("crdprt.dll");
    ASSERT_TRUE(platform::IsLoadedHandle(sdk));
    auto getStatus = reinterpret_cast<Get_StatusExProc>(platform::FindLibraryEntry(sdk, "Get_StatusEx"));
    ASSERT_NE(getStatus, nullptr);
    EXPECT_NE(getStatus(nullptr, nullptr), 0);
    EXPECT_NE(getStatus(nullptr, nullptr), 0);
    EXPECT_EQ(getStatus(nullptr, nullptr), 0);
    platform::FreeLibraryHandle(sdk);
}

TEST_F(VirtualPrinterD2xx, RejectsBadFramesSequencesAndSums) {
    StartLoader();
    EXPECT_EQ(SendData(1, {}), Reply(0x15, 0x41));  // frame 0 expected
    EXPECT_EQ(SendData(0, {0xAA}), Reply(0x30, 0x41));
    EXPECT_EQ(SendData(0, {0xAA}), Reply(0x15, 0x41));  // already taken

    BuildPollFrame(FTOutBuffer);
    FTOutBuffer[4] ^= 0x01;  // damaged CRC
    ASSERT_EQ(Send(5), 5u);
    EXPECT_EQ(Collect(), Reply(0x15, 0x40));

    ASSERT_EQ(Send(BuildWriteToMemoryFrame(FTOutBuffer)), 5u);
    EXPECT_EQ(Collect(), Reply(0x30, 0x42));
    ASSERT_EQ(Send(BuildChecksumFrame(FTOutBuffer, 0x00AB)), 7u);
    EXPECT_EQ(Collect(), Reply(0x31, 0x43));
    EXPECT_EQ(sim.State().downloads, 0);
}

TEST_F(VirtualPrinterD2xx, AnEmptyReadReturnsAfterTheReadTimeout) {
    ASSERT_TRUE(FindCardPrinter());
    const auto start = Clock::now();
    EXPECT_EQ(ReadFTDevice(65535), 0u);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 9);
    EXPECT_LT(elapsed, 500);
}

TEST_F(VirtualPrinterD2xx, RepliesBecomeReadableAfterTheLatency) {
    sim.Set("FWSIM_LATENCY_MS", "60");
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_EQ(Send(BuildModeChangeCommand(FTOutBuffer)), 4u);
    ASSERT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    ASSERT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 1u);
}

TEST_F(VirtualPrinterD2xx, ShortWritesAcceptPartOfAFrameAndTheRestCompletesIt) {
    sim.Set("FWSIM_FAULTS", "short:0:2:200");
    StartLoader();
    std::fill(FTOutBuffer, FTOutBuffer + 65535, 0);
    PutDataFrameHead(FTOutBuffer, 0);
    CompleteDataFrame(FTOutBuffer);
    const Bytes frame(FTOutBuffer, FTOutBuffer + 519);
    ASSERT_EQ(Send(519), 200u);
    std::copy(frame.begin() + 200, frame.end(), FTOutBuffer);
    ASSERT_EQ(Send(319), 200u);
    std::copy(frame.begin() + 400, frame.end(), FTOutBuffer);
    ASSERT_EQ(Send(119), 119u);
    EXPECT_EQ(Collect(), Reply(0x30, 0x41));
}

TEST_F(VirtualPrinterD2xx, InjectedReplyFaults) {
    sim.Set("FWSIM_FAULTS", "nak:data:1,corrupt:write,code:checksum:32");
    StartLoader();
    EXPECT_EQ(SendData(0, {}), Reply(0x30, 0x41));
    EXPECT_EQ(SendData(1, {}), Reply(0x15, 0x41));
    EXPECT_EQ(SendData(1, {}), Reply(0x15, 0x41));  // every time
    ASSERT_EQ(Send(BuildWriteToMemoryFrame(FTOutBuffer)), 5u);
    Bytes corrupted = Reply(0x30, 0x42);
    corrupted.back() ^= 0xFF;
    EXPECT_EQ(Collect(), corrupted);
    ASSERT_EQ(Send(BuildChecksumFrame(FTOutBuffer, 0)), 7u);
    EXPECT_EQ(Collect(), Reply(0x32, 0x43));
}

TEST_F(VirtualPrinterD2xx, SilenceAndOverlongReplies) {
    sim.Set("FWSIM_FAULTS", "silence:mode");
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_EQ(Send(BuildModeChangeCommand(FTOutBuffer)), 4u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u);
    CloseCardPrinter();

    sim.Set("FWSIM_FAULTS", "overlong:poll");
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_EQ(Send(BuildModeChangeCommand(FTOutBuffer)), 4u);
    ASSERT_EQ(Collect(), Bytes{0x06});
    ASSERT_EQ(Send(BuildPollFrame(FTOutBuffer)), 5u);
    const Bytes reply = Collect();
    EXPECT_EQ(reply.size(), 6u + 70000u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), Reply(0x30, 0x40));
}

TEST_F(VirtualPrinterD2xx, AnUnpluggedDeviceReportsIoErrors) {
    sim.Set("FWSIM_FAULTS", "vanish:data:0");
    StartLoader();
    std::fill(FTOutBuffer, FTOutBuffer + 65535, 0);
    PutDataFrameHead(FTOutBuffer, 0);
    ASSERT_EQ(Send(CompleteDataFrame(FTOutBuffer)), 519u);
    EXPECT_EQ(GetFTDeviceQueueStatus(), FT_IO_ERROR);
    EXPECT_EQ(ReadFTDevice(65535), 0u);
    EXPECT_EQ(WriteFTDevice(5), 0u);
}

TEST_F(VirtualPrinterD2xx, ConfiguredDevicesAndDiscoveryFaults) {
    sim.Set("FWSIM_DEVICES", "USB Serial Converter;card printer;" + std::string(70, 'X'));
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_EQ(FTDeviceIndex, 1);
    EXPECT_EQ(FTDeviceDescription, "card printer");
    EXPECT_EQ(GetFTDeviceDescription(2), FT_OK);
    EXPECT_EQ(FTDeviceDescription, std::string(49, 'X'));
    CloseCardPrinter();

    sim.Set("FWSIM_DEVICES", "CARD PRINTER;CARD PRINTER");
    sim.Set("FWSIM_FAULTS", "open-error:0");
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_EQ(FTDeviceIndex, 1);
    CloseCardPrinter();

    sim.Set("FWSIM_FAULTS", "count-error");
    EXPECT_FALSE(FindCardPrinter());
    sim.Set("FWSIM_FAULTS", "");
    sim.Set("FWSIM_DEVICES", "");
    EXPECT_FALSE(FindCardPrinter());
    sim.Set("FWSIM_DEVICES", "CARD PRINTER");
    sim.Set("FWSIM_FAULTS", "description-error:0");
    EXPECT_FALSE(FindCardPrinter());
    EXPECT_THAT(boxes.Lines(), ElementsAre("Error: Get device count error.", "Error: USB device not found.",
                                           "Error: Card Printer not found."));
}

TEST_F(VirtualPrinterD2xx, HandlesAreOpaqueAndDieWithClose) {
    using CountFunction = int (*)();
    auto openHandles = reinterpret_cast<CountFunction>(platform::FindLibraryEntry(D2XXLibHandle, "FwSim_OpenHandleCount"));
    ASSERT_NE(openHandles, nullptr);
    ASSERT_TRUE(FindCardPrinter());
    const FT_HANDLE handle = FTHandle;
    EXPECT_EQ(openHandles(), 1);
    // One open at a time, as with the chip.
    FT_HANDLE second = nullptr;
    EXPECT_EQ(D2XXSlots.FT_Open(0, &second), FT_DEVICE_NOT_OPENED);
    CloseCardPrinter();
    EXPECT_EQ(openHandles(), 0);
    EXPECT_EQ(D2XXSlots.FT_Close(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(D2XXSlots.FT_ResetDevice(handle), FT_INVALID_HANDLE);
}

}  // namespace
