// Binding a D2XX library that lacks FT_EE_Program, which sits beside this test program.
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"

namespace {

TEST(D2XXBinding, AMissingLastEntryFailsTheBindingWithTheOthersFilled) {
    EXPECT_FALSE(LoadD2XXLibrary());
    EXPECT_TRUE(platform::IsLoadedHandle(D2XXLibHandle));
    const auto* slots = reinterpret_cast<void* const*>(&D2XXSlots);
    for (int i = 0; i < kD2XXEntryPointCount - 1; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i + 1;
    EXPECT_EQ(D2XXSlots.FT_EE_Program, nullptr);
    // Both FT_ListDevices slots hold the same export.
    EXPECT_EQ(reinterpret_cast<void*>(D2XXSlots.FT_ListDevicesCount), reinterpret_cast<void*>(D2XXSlots.FT_ListDevicesByIndex));

    UnloadD2XXLibrary();
    EXPECT_EQ(D2XXLibHandle, 0u);
}

}  // namespace
