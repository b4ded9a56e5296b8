// fwload's binding of the SDK library: by name, once, tolerant of missing exports.
#include <gtest/gtest.h>

#include "KX47XX_Dyn.h"

namespace {

void* const* SlotsAsArray() { return reinterpret_cast<void* const*>(&KX47XXSlots); }

int FilledSlots() {
    int filled = 0;
    for (int i = 0; i < kKX47XXEntryPointCount; ++i) filled += SlotsAsArray()[i] != nullptr ? 1 : 0;
    return filled;
}

class KX47XXBinding : public ::testing::Test {
protected:
    void SetUp() override {
        UnloadKX47XXLibrary();
        KX47XXSlots = KX47XXEntryPoints{};
    }
    void TearDown() override { UnloadKX47XXLibrary(); }
};

TEST_F(KX47XXBinding, LoadsCrdprtByItsWindowsNameAndFillsWhatItExports) {
    ASSERT_TRUE(LoadKX47XXLibrary("crdprt.dll"));
    EXPECT_TRUE(platform::IsLoadedHandle(KX47XXLibHandle));
    EXPECT_NE(KX47XXSlots.Get_StatusEx, nullptr);
    EXPECT_NE(KX47XXSlots.UserLCDMemoryWrite, nullptr);
    EXPECT_NE(KX47XXSlots.UserLCDMemoryWriteEx, nullptr);
    EXPECT_NE(KX47XXSlots.LCD_DISPLAY, nullptr);
    EXPECT_NE(KX47XXSlots.DeviceDirectGet2, nullptr);
    // The virtual printer leaves out what no program calls; the binding copes.
    EXPECT_EQ(KX47XXSlots.SetLogPathFile, nullptr);
    EXPECT_EQ(KX47XXSlots.Image_Print, nullptr);
}

TEST_F(KX47XXBinding, ASecondLoadLooksNothingUp) {
    ASSERT_TRUE(LoadKX47XXLibrary("crdprt.dll"));
    const platform::LibraryHandle first = KX47XXLibHandle;
    KX47XXSlots.Get_StatusEx = nullptr;
    EXPECT_TRUE(LoadKX47XXLibrary("crdprt.dll"));
    EXPECT_EQ(KX47XXLibHandle, first);
    EXPECT_EQ(KX47XXSlots.Get_StatusEx, nullptr);

    UnloadKX47XXLibrary();
    EXPECT_EQ(KX47XXLibHandle, 0u);
    ASSERT_TRUE(LoadKX47XXLibrary("crdprt.dll"));
    EXPECT_NE(KX47XXSlots.Get_StatusEx, nullptr);
}

TEST_F(KX47XXBinding, ALibraryWithoutAnyOfTheNamesStillBinds) {
    // libnoexports.so sits beside this test program.
    ASSERT_TRUE(LoadKX47XXLibrary("NoExports.dll"));
    EXPECT_EQ(FilledSlots(), 0);
}

TEST_F(KX47XXBinding, AMissingLibraryTouchesNoSlot) {
    KX47XXSlots.LCD_DISPLAY = reinterpret_cast<LCD_DISPLAYProc>(0x1234);
    EXPECT_FALSE(LoadKX47XXLibrary("nosuchsdk.dll"));
    EXPECT_EQ(KX47XXLibHandle, 0u);
    EXPECT_EQ(KX47XXSlots.LCD_DISPLAY, reinterpret_cast<LCD_DISPLAYProc>(0x1234));
    KX47XXSlots.LCD_DISPLAY = nullptr;
}

}  // namespace
