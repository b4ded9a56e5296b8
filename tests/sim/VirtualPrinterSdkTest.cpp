// The virtual printer's SDK face, loaded by name as the programs load it.
#include <cstring>

#include <gtest/gtest.h>

#include "CardPrinterSdk.h"
#include "DynamicLibrary.h"
#include "SimEnvironment.h"

namespace {

// The operations of one loaded copy of the SDK face.
struct SdkLibrary {
    explicit SdkLibrary(const char* name) : handle(platform::LoadLibraryByName(name)) {
        Bind(OpenDevice, "OpenDevice");
        Bind(CloseDevice, "CloseDevice");
        Bind(GetSensorPos, "GetSensorPos");
        Bind(SetSensorPos, "SetSensorPos");
        Bind(GetProduction, "GetProduction");
        Bind(DeviceDirectSend2, "DeviceDirectSend2");
        Bind(DeviceDirectGet2, "DeviceDirectGet2");
        Bind(GetRibbonSensorEx, "GetRibbonSensorEx");
        Bind(SetRibbonSensor, "SetRibbonSensor");
        Bind(N_SaveConfigurationData, "N_SaveConfigurationData");
        Bind(Get_StatusEx, "Get_StatusEx");
        Bind(UserLCDMemoryWrite, "UserLCDMemoryWrite");
        Bind(UserLCDMemoryWriteEx, "UserLCDMemoryWriteEx");
        Bind(LCD_DISPLAY, "LCD_DISPLAY");
    }
    ~SdkLibrary() { platform::FreeLibraryHandle(handle); }

    template <typename Proc>
    void Bind(Proc& slot, const char* name) {
        void* address = platform::FindLibraryEntry(handle, name);
        std::memcpy(&slot, &address, sizeof slot);
        EXPECT_NE(address, nullptr) << name;
    }

    platform::LibraryHandle handle;
    OpenDeviceProc OpenDevice;
    CloseDeviceProc CloseDevice;
    GetSensorPosProc GetSensorPos;
    SetSensorPosProc SetSensorPos;
    GetProductionProc GetProduction;
    DeviceDirectSend2Proc DeviceDirectSend2;
    DeviceDirectGet2Proc DeviceDirectGet2;
    GetRibbonSensorExProc GetRibbonSensorEx;
    SetRibbonSensorProc SetRibbonSensor;
    N_SaveConfigurationDataProc N_SaveConfigurationData;
    Get_StatusExProc Get_StatusEx;
    UserLCDMemoryWriteProc UserLCDMemoryWrite;
    UserLCDMemoryWriteExProc UserLCDMemoryWriteEx;
    LCD_DISPLAYProc LCD_DISPLAY;
};

std::uint8_t kQuery[] = {0x1B, 0x21, 0x56, 0x20, 0x33, 0x37, 0x0D};

class VirtualPrinterSdk : public ::testing::Test {
protected:
    SimEnvironment sim;
    SdkLibrary sdk{"crdprt.dll"};
};

TEST_F(VirtualPrinterSdk, SensorPositionNeedsAnOpenPrinter) {
    std::int32_t position = -1;
    EXPECT_EQ(sdk.GetSensorPos(&position), 3);
    ASSERT_EQ(sdk.OpenDevice("", 0), 0);
    EXPECT_EQ(sdk.GetSensorPos(&position), 0);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(sdk.SetSensorPos(1), 0);
    EXPECT_EQ(sdk.SetSensorPos(-1), 4);
    EXPECT_EQ(sdk.GetSensorPos(&position), 0);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(sdk.CloseDevice(0), 0);
    EXPECT_EQ(sdk.SetSensorPos(0), 3);
    EXPECT_EQ(sdk.CloseDevice(0), 3);
}

TEST_F(VirtualPrinterSdk, StateIsSharedBetweenTwoLoadedLibraries) {
    SdkLibrary other("KX4700.DLL");
    ASSERT_NE(other.handle, sdk.handle);
    ASSERT_EQ(sdk.OpenDevice("", 0), 0);
    ASSERT_EQ(sdk.SetSensorPos(1), 0);
    ASSERT_EQ(other.OpenDevice("", 0), 0);
    std::int32_t position = 0;
    ASSERT_EQ(other.GetSensorPos(&position), 0);
    EXPECT_EQ(position, 1);
}

TEST_F(VirtualPrinterSdk, RibbonCapacityThroughTheTwoDirectCommands) {
    std::uint8_t reply[10] = {};
    std::int32_t length = 0;
    EXPECT_EQ(sdk.DeviceDirectGet2(reply, &length), 5);  // nothing asked yet
    ASSERT_EQ(sdk.DeviceDirectSend2(kQuery, 7, 5, 1), 0);
    ASSERT_EQ(sdk.DeviceDirectGet2(reply, &length), 0);
    EXPECT_EQ(reply[0], '0');
    EXPECT_EQ(length, 1);

    std::uint8_t setLarge[] = {0x1B, 0x2B, 0x4D, 0x56, 0x53, 0x20, 0x31, 0x0D};
    ASSERT_EQ(sdk.DeviceDirectSend2(setLarge, 8, 5, 0), 0);
    ASSERT_EQ(sdk.DeviceDirectSend2(kQuery, 7, 5, 1), 0);
    ASSERT_EQ(sdk.DeviceDirectGet2(reply, &length), 0);
    EXPECT_EQ(reply[0], '1');
    EXPECT_EQ(sim.State().ribbonCapacity, '1');

    std::uint8_t setNothing[] = {0x1B, 0x2B, 0x4D, 0x56, 0x53, 0x20, 0x00, 0x0D};
    EXPECT_EQ(sdk.DeviceDirectSend2(setNothing, 8, 5, 0), 4);
    EXPECT_EQ(sim.State().ribbonCapacity, '1');
}

TEST_F(VirtualPrinterSdk, ProductionTextsCarryTheSerialNumber) {
    sim.Set("FWSIM_SERIAL", "SN-4711");
    char first[20] = {}, second[20] = {}, serial[20] = {};
    ASSERT_EQ(sdk.GetProduction(first, second, serial), 0);
    EXPECT_STREQ(serial, "SN-4711");

    sim.Set("FWSIM_SERIAL", "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    sim.Set("FWSIM_FAULTS", "unterminated-serial");
    char guarded[24];
    std::memset(guarded, '#', sizeof guarded);
    ASSERT_EQ(sdk.GetProduction(first, second, guarded), 0);
    EXPECT_EQ(std::string(guarded, 20), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(guarded[20], '#');  // no terminator, and nothing past 20 bytes
}

TEST_F(VirtualPrinterSdk, RibbonSensorReadingsSetAndSave) {
    sim.Set("FWSIM_RIBBON_READINGS", "540/1*2,529/7");
    ASSERT_EQ(sdk.OpenDevice("", 0), 0);
    std::int32_t first = 0, second = 0;
    const std::int32_t expected[][2] = {{540, 1}, {540, 1}, {529, 7}, {529, 7}};
    for (const auto& pair : expected) {
        ASSERT_EQ(sdk.GetRibbonSensorEx(&first, &second), 0);
        EXPECT_EQ(first, pair[0]);
        EXPECT_EQ(second, pair[1]);
    }
    EXPECT_EQ(sdk.SetRibbonSensor(), 0);
    EXPECT_EQ(sdk.N_SaveConfigurationData('2'), 7);
    EXPECT_EQ(sdk.N_SaveConfigurationData('1'), 0);
    EXPECT_EQ(sdk.N_SaveConfigurationData('2'), 0);
    EXPECT_TRUE(sim.State().ribbonSensorSet);
    EXPECT_EQ(sim.State().configurationSaves, 1);
}

TEST_F(VirtualPrinterSdk, DisplayLinesAndSwitchAreStored) {
    ASSERT_EQ(sdk.UserLCDMemoryWrite(17, '1', 'A', ""), 0);
    ASSERT_EQ(sdk.UserLCDMemoryWrite(17, '0', 0x40, "HELLO           "), 0);
    ASSERT_EQ(sdk.UserLCDMemoryWriteEx(17, '3', '1', "logo.bmp"), 0);
    EXPECT_EQ(sdk.UserLCDMemoryWrite(17, '4', 'A', ""), 4);
    ASSERT_EQ(sdk.LCD_DISPLAY(9, 0, 0), 0);
    const sim::PrinterState state = sim.State();
    EXPECT_TRUE(state.lines[0].written);
    EXPECT_EQ(state.lines[0].kind, 0x40);
    EXPECT_EQ(state.lines[0].text, "HELLO           ");
    EXPECT_EQ(state.lines[1].kind, 'A');
    EXPECT_FALSE(state.lines[2].written);
    EXPECT_TRUE(state.lines[3].extended);
    EXPECT_EQ(state.lines[3].text, "logo.bmp");
    EXPECT_TRUE(state.displayOn);
}

TEST_F(VirtualPrinterSdk, BusyWhileRestartingAfterADownload) {
    EXPECT_EQ(sdk.Get_StatusEx(nullptr, nullptr), 0);
    sim::PrinterStore(sim.StateDir()).Update([](sim::PrinterState& state) { state.busyCalls = 2; });
    std::uint8_t status = 0, detail = 0;
    EXPECT_NE(sdk.Get_StatusEx(&status, &detail), 0);
    EXPECT_NE(sdk.Get_StatusEx(&status, &detail), 0);
    EXPECT_EQ(sdk.Get_StatusEx(&status, &detail), 0);
}

TEST_F(VirtualPrinterSdk, InjectedFailuresByCallNumber) {
    sim.Set("FWSIM_FAULTS", "sdk-fail:OpenDevice:2,sdk-fail:Get_StatusEx");
    EXPECT_EQ(sdk.OpenDevice("", 0), 0);
    EXPECT_EQ(sdk.OpenDevice("", 0), 1);
    EXPECT_EQ(sdk.OpenDevice("", 0), 1);
    EXPECT_EQ(sdk.Get_StatusEx(nullptr, nullptr), 1);

    sim.Set("FWSIM_FAULTS", "");
    sim.Set("FWSIM_DEVICES", "");
    EXPECT_EQ(sdk.OpenDevice("", 0), 2);
}

}  // namespace
