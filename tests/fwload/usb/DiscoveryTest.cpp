// The printer link and discovery on an in-process fake device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"
#include "FakeD2xx.h"
#include "MessageBoxRecorder.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Discovery : public ::testing::Test {
protected:
    VirtualClock clock;
    FakeD2xx device{clock};
    MessageBoxRecorder boxes;
};

TEST_F(Discovery, OpensThePrinterAndPreparesTheLink) {
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_THAT(device.calls, ElementsAre("FT_ListDevices(count)", "FT_ListDevices(0)", "FT_Open(0)", "FT_ResetDevice",
                                          "FT_Purge(2)", "FT_ResetDevice", "FT_Purge(1)", "FT_ResetDevice",
                                          "FT_SetTimeouts(10,2000)"));
    EXPECT_TRUE(IsCardPrinterLinkHeld());
    EXPECT_EQ(FTDeviceIndex, 0);
    EXPECT_EQ(FTDeviceCount, 1u);
    EXPECT_EQ(FTDeviceDescription, "CARD PRINTER");
    EXPECT_THAT(boxes.boxes, IsEmpty());
}

TEST_F(Discovery, TellsWhyNothingWasFound) {
    device.countStatus = FT_IO_ERROR;
    EXPECT_FALSE(FindCardPrinter());
    device.countStatus = FT_OK;
    device.descriptions = {};
    EXPECT_FALSE(FindCardPrinter());
    device.descriptions = {"USB Serial Converter", "CARD PRINTER "};
    EXPECT_FALSE(FindCardPrinter());
    EXPECT_THAT(boxes.Lines(), ElementsAre("Error: Get device count error.", "Error: USB device not found.",
                                           "Error: Card Printer not found."));
    for (const auto& box : boxes.boxes) EXPECT_EQ(box.icon, platform::MessageIcon::Information);
}

TEST_F(Discovery, NoDeviceLeavesALinkHeldFromBefore) {
    ASSERT_TRUE(FindCardPrinter());
    device.descriptions = {};
    EXPECT_FALSE(FindCardPrinter());
    EXPECT_TRUE(IsCardPrinterLinkHeld());
    EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "FT_Close"), 0);
}

TEST_F(Discovery, MatchesEitherNameInAnyCaseButNothingMore) {
    const struct {
        const char* description;
        bool accepted;
    } cases[] = {
        {"CARD PRINTER", true},        {"card printer", true},       {"Veldor KX-4700", true},
        {"VELDOR KX-4700", true},      {"CARD PRINTER ", false},     {" CARD PRINTER", false},
        {"CARD PRINTERS", false},      {"VELDOR KX-4700A", false},   {"CARD\tPRINTER", false},
        {"C\xC3\x81RD PRINTER", false},
    };
    for (const auto& c : cases) {
        device.descriptions = {c.description};
        EXPECT_EQ(FindCardPrinter(), c.accepted) << c.description;
        CloseCardPrinter();
    }
    // The description is kept as the device gave it.
    device.descriptions = {"Card Printer"};
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_EQ(FTDeviceDescription, "Card Printer");
}

TEST_F(Discovery, PassesOverAMatchingDeviceThatDoesNotOpen) {
    device.descriptions = {"CARD PRINTER", "CARD PRINTER"};
    device.failOpen = {0};
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_EQ(FTDeviceIndex, 1);
    EXPECT_THAT(std::vector<std::string>(device.calls.begin(), device.calls.begin() + 5),
                ElementsAre("FT_ListDevices(count)", "FT_ListDevices(0)", "FT_Open(0)", "FT_ListDevices(1)", "FT_Open(1)"));

    device.failOpen = {0, 1};
    CloseCardPrinter();
    EXPECT_FALSE(FindCardPrinter());
    EXPECT_THAT(boxes.Lines(), ElementsAre("Error: Card Printer not found."));
}

TEST_F(Discovery, AFailedDescriptionReadRulesTheDeviceOutDespiteAStaleMatch) {
    ASSERT_TRUE(FindCardPrinter());
    CloseCardPrinter();
    ASSERT_EQ(FTDeviceDescription, "CARD PRINTER");
    device.failDescription = {0};
    device.calls.clear();
    EXPECT_FALSE(FindCardPrinter());
    EXPECT_THAT(device.calls, ElementsAre("FT_ListDevices(count)", "FT_ListDevices(0)"));
    EXPECT_EQ(FTDeviceDescription, "CARD PRINTER");
}

TEST_F(Discovery, IgnoresFailuresWhilePreparingTheLink) {
    device.purgeStatus = FT_IO_ERROR;
    EXPECT_TRUE(FindCardPrinter());
    EXPECT_TRUE(IsCardPrinterLinkHeld());
}

TEST_F(Discovery, CutsDescriptionsAt49CharactersEvenWithoutATerminator) {
    const std::string sixty(60, 'D');
    device.descriptions = {sixty, std::string(64, 'E'), std::string(80, 'F')};
    EXPECT_FALSE(FindCardPrinter());
    EXPECT_EQ(GetFTDeviceDescription(0), FT_OK);
    EXPECT_EQ(FTDeviceDescription, sixty.substr(0, 49));
    EXPECT_EQ(GetFTDeviceDescription(2), FT_OK);
    EXPECT_EQ(FTDeviceDescription, std::string(49, 'F'));
}

TEST_F(Discovery, ClosingTwiceClosesOnce) {
    ASSERT_TRUE(FindCardPrinter());
    CloseCardPrinter();
    CloseCardPrinter();
    EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "FT_Close"), 1);
    EXPECT_FALSE(IsCardPrinterLinkHeld());
    EXPECT_EQ(device.openHandles, 0);
}

TEST_F(Discovery, DiscoveryLetsALinkFromBeforeGo) {
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_TRUE(FindCardPrinter());
    EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "FT_Close"), 1);
    EXPECT_EQ(device.openHandles, 1);
}

TEST_F(Discovery, WritesAndReadsReportCountsWithoutRetrying) {
    ASSERT_TRUE(FindCardPrinter());
    device.nextWriteLimits = {300};
    for (std::uint32_t i = 0; i < 519; ++i) FTOutBuffer[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(WriteFTDevice(519), 300u);
    ASSERT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(device.writes[0].asked, 519u);

    // Nothing pending: the read comes back empty once the 10 ms read timeout has passed.
    const std::int64_t before = clock.NowUs();
    EXPECT_EQ(ReadFTDevice(65535), 0u);
    EXPECT_EQ(clock.NowUs() - before, 10000);

    EXPECT_EQ(GetFTDeviceQueueStatus(), FT_OK);
    EXPECT_EQ(FTRxQueueBytes, 0u);
}

TEST(D2XXBinding, FailsWithoutALibraryAndLeavesNothingLoaded) {
    if (const platform::LibraryHandle installed = platform::LoadLibraryByName("ftd2xx.dll")) {
        platform::FreeLibraryHandle(installed);
        GTEST_SKIP() << "a D2XX library is installed on this machine";
    }
    EXPECT_FALSE(LoadD2XXLibrary());
    EXPECT_EQ(D2XXLibHandle, 0u);
    UnloadD2XXLibrary();
    EXPECT_EQ(D2XXLibHandle, 0u);
}

}  // namespace
