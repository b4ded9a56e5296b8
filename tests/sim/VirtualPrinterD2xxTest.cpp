// The virtual printer's D2XX face, loaded by name through the real binding, in real time: the
// loader's side of the exchange, sent the golden bytes rather than anything the host's code builds.
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CardPrinterSdk.h"
#include "D2XX_Dyn.h"
#include "GoldenVectors.h"
#include "MessageBoxRecorder.h"
#include "SimEnvironment.h"

namespace {

using golden::Bytes;
using Clock = std::chrono::steady_clock;
using ::testing::ElementsAre;

const Bytes kZerosFrame0 = golden::DataFrame(0, {}, 0xDA, 0xF0);
const Bytes kZerosFrame1 = golden::DataFrame(1, {}, 0x2E, 0xE7);
const Bytes kAaFrame0 = golden::DataFrame(0, {0xAA}, 0x11, 0x32);

class VirtualPrinterD2xx : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadD2XXLibrary()); }
    void TearDown() override { CloseCardPrinter(); }

    // Writes the bytes; returns the count written.
    std::uint32_t Send(const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), FTOutBuffer);
        return WriteFTDevice(static_cast<std::uint32_t>(bytes.size()));
    }

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

    Bytes Exchange(const Bytes& request) {
        EXPECT_EQ(Send(request), request.size());
        return Collect();
    }

    void StartLoader() {
        ASSERT_TRUE(FindCardPrinter());
        ASSERT_EQ(Exchange(golden::kModeChange), golden::kModeChangeAnswer);
        ASSERT_EQ(Exchange(golden::kPoll), golden::kPollAccepted);
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

TEST_F(VirtualPrinterD2xx, AnswersEachGoldenDownloadAndKeepsItsImage) {
    const struct {
        const char* name;
        golden::Download download;
        std::uint16_t byteSum;
    } cases[] = {
        {"three bytes", golden::ThreeByteImage(), 0x0006},
        {"header only", golden::HeaderOnly(), 0x0000},
        {"512 bytes", golden::BoundaryImage(), 0xFF00},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(FindCardPrinter());
        for (std::size_t i = 0; i < c.download.requests.size(); ++i) {
            EXPECT_EQ(Exchange(c.download.requests[i]), c.download.replies[i]) << c.name << ", request " << i;
        }
        CloseCardPrinter();
        EXPECT_EQ(sim.State().imageSum, c.byteSum) << c.name;
        const std::string stored = sim.StoredImage();
        std::string expected = c.download.image;
        expected.resize((expected.size() / 512 + 1) * 512, '\0');
        EXPECT_EQ(stored, expected) << c.name;
    }
    EXPECT_EQ(sim.State().downloads, 3);

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
    Bytes damagedPoll = golden::kPoll;
    damagedPoll[4] ^= 0x01;
    Bytes damagedData = kAaFrame0;
    damagedData[517] ^= 0x80;  // the CRC's high byte
    const struct {
        const char* what;
        Bytes request;
        Bytes reply;
    } rows[] = {
        {"frame 1 before frame 0", kZerosFrame1, golden::kDataRefused},
        {"a damaged data frame", damagedData, golden::kDataRefused},
        {"frame 0", kAaFrame0, golden::kDataAccepted},
        {"frame 0 again", kAaFrame0, golden::kDataRefused},
        {"a damaged poll", damagedPoll, golden::kPollRefused},
        {"write to memory", golden::kWriteToMemory, golden::kWriteAccepted},
        {"a wrong byte sum", {0x02, 0x43, 0x00, 0xAB, 0x03, 0x46, 0xED}, golden::kChecksumMismatch},
    };
    for (const auto& row : rows) EXPECT_EQ(Exchange(row.request), row.reply) << row.what;
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
    ASSERT_EQ(Send(golden::kModeChange), 4u);
    ASSERT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    ASSERT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 1u);
}

TEST_F(VirtualPrinterD2xx, ShortWritesAcceptPartOfAFrameAndTheRestCompletesIt) {
    sim.Set("FWSIM_FAULTS", "short:0:2:200");
    StartLoader();
    const Bytes& frame = kZerosFrame0;
    ASSERT_EQ(Send(frame), 200u);
    ASSERT_EQ(Send(Bytes(frame.begin() + 200, frame.end())), 200u);
    ASSERT_EQ(Send(Bytes(frame.begin() + 400, frame.end())), 119u);
    EXPECT_EQ(Collect(), golden::kDataAccepted);
}

TEST_F(VirtualPrinterD2xx, InjectedReplyFaults) {
    sim.Set("FWSIM_FAULTS", "nak:data:1,corrupt:write,code:checksum:32");
    StartLoader();
    EXPECT_EQ(Exchange(kZerosFrame0), golden::kDataAccepted);
    EXPECT_EQ(Exchange(kZerosFrame1), golden::kDataRefused);
    EXPECT_EQ(Exchange(kZerosFrame1), golden::kDataRefused);  // every time
    Bytes corrupted = golden::kWriteAccepted;
    corrupted.back() ^= 0xFF;
    EXPECT_EQ(Exchange(golden::kWriteToMemory), corrupted);
    EXPECT_EQ(Exchange(golden::HeaderOnly().requests.back()), (Bytes{0x02, 0x32, 0x43, 0x03, 0xA1, 0xE4}));
}

// A fault aimed at one printer by its serial touches no other; a late printer appears after its
// counts, for every process from then on (the mark in its state folder).
TEST_F(VirtualPrinterD2xx, FaultsAimedAtOnePrinterAndALatePlugIn) {
    sim.Set("FWSIM_DEVICES", "CARD PRINTER;CARD PRINTER");
    sim.Set("FWSIM_FAULTS", "FWSIM1001@nak:data:1,FWSIM1000@attach-after:2");
    StartLoader();  // count 1: only FWSIM1001 is attached
    EXPECT_EQ(FTDeviceIndex, 0);
    EXPECT_EQ(Exchange(kZerosFrame0), golden::kDataAccepted);
    EXPECT_EQ(Exchange(kZerosFrame1), golden::kDataRefused);
    CloseCardPrinter();
    ASSERT_EQ(GetFTDeviceCount(), FT_OK);  // count 2
    EXPECT_EQ(FTDeviceCount, 1u);
    StartLoader();  // count 3: FWSIM1000 is plugged in, first in the list, and has no fault
    EXPECT_EQ(FTDeviceIndex, 0);
    EXPECT_EQ(Exchange(kZerosFrame0), golden::kDataAccepted);
    EXPECT_EQ(Exchange(kZerosFrame1), golden::kDataAccepted);
    EXPECT_TRUE(std::ifstream(sim.StateDir() + "/attached").good());
}

// A process that ended without taking its note away (killed) leaves it; the next open sweeps it.
TEST_F(VirtualPrinterD2xx, NotesOfEndedProcessesAreSweptOnOpen) {
    const std::string stale = sim.StateDir() + "/opened-by-2147483600";  // above any pid Linux gives
    std::ofstream(stale) << "0\n";
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_FALSE(std::ifstream(stale).good());
    EXPECT_TRUE(std::ifstream(sim.StateDir() + "/opened-by-" + std::to_string(getpid())).good());
}

TEST_F(VirtualPrinterD2xx, SilenceAndOverlongReplies) {
    sim.Set("FWSIM_FAULTS", "silence:mode");
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_EQ(Send(golden::kModeChange), 4u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u);
    CloseCardPrinter();

    sim.Set("FWSIM_FAULTS", "overlong:poll");
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_EQ(Exchange(golden::kModeChange), golden::kModeChangeAnswer);
    const Bytes reply = Exchange(golden::kPoll);
    EXPECT_EQ(reply.size(), 6u + 70000u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), golden::kPollAccepted);
}

TEST_F(VirtualPrinterD2xx, AnUnpluggedDeviceReportsIoErrors) {
    sim.Set("FWSIM_FAULTS", "vanish:data:0");
    StartLoader();
    ASSERT_EQ(Send(kZerosFrame0), 519u);
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
