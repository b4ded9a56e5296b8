// Binding a D2XX library that lacks FT_EE_Program, which sits beside this test program.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"

namespace {

using ::testing::ElementsAre;

TEST(D2XXBinding, AMissingLastEntryFailsTheBindingWithTheOthersFilled) {
    EXPECT_FALSE(LoadD2XXLibrary());
    EXPECT_TRUE(platform::IsLoadedHandle(D2XXLibHandle));
    // Every slot, in table order, holds the export of its name; both FT_ListDevices slots hold one.
    using NameProc = const char* (*)();
    const auto* slots = reinterpret_cast<void* const*>(&D2XXSlots);
    std::vector<std::string> names;
    for (int i = 0; i < kD2XXEntryPointCount - 1; ++i) {
        names.push_back(slots[i] != nullptr ? reinterpret_cast<NameProc>(slots[i])() : "(empty)");
    }
    EXPECT_THAT(names,
                ElementsAre("FT_Open", "FT_Close", "FT_Read", "FT_Write", "FT_SetBaudRate",
                            "FT_SetDataCharacteristics", "FT_SetFlowControl", "FT_ResetDevice",
                            "FT_SetDtr", "FT_ClrDtr", "FT_SetRts", "FT_ClrRts", "FT_GetModemStatus",
                            "FT_SetChars", "FT_Purge", "FT_SetTimeouts", "FT_GetQueueStatus",
                            "FT_ListDevices", "FT_ListDevices", "FT_OpenEx", "FT_GetLatencyTimer",
                            "FT_EE_Read", "FT_EE_ReadEx", "FT_EraseEE"));
    EXPECT_EQ(D2XXSlots.FT_EE_Program, nullptr);

    UnloadD2XXLibrary();
    EXPECT_EQ(D2XXLibHandle, 0u);
}

}  // namespace
