// The tools' SDK binding: which library it loads, in what order, and what a missing library or
// entry point gives. The libraries beside this program tell who they are through CloseDevice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CSdkLibrary.h"
#include "MessageBoxRecorder.h"

namespace {

constexpr std::int32_t kKX4700 = 4700;
constexpr std::int32_t kCrdprt = 1;
constexpr std::int32_t kGiven = 7;

#if defined(PROBES_BESIDE_ALL)

TEST(CSdkLibrary, NothingIsLoadedBeforeTheFirstCall) {
    CSdkLibrary library;
    EXPECT_FALSE(library.IsLoaded());
}

TEST(CSdkLibrary, TriesTheGivenNameThenKX4700ThenCrdprt) {
    MessageBoxRecorder boxes;
    {
        CSdkLibrary library;
        ASSERT_TRUE(library.Load("Given.dll"));
        EXPECT_EQ(library.CloseDevice(0), kGiven);
        EXPECT_TRUE(library.Load("Other.dll"));  // already holds one
        EXPECT_EQ(library.CloseDevice(0), kGiven);
    }
    {
        CSdkLibrary library;
        ASSERT_TRUE(library.Load("NoSuchLibrary.dll"));
        EXPECT_EQ(library.CloseDevice(0), kKX4700);
    }
    {
        CSdkLibrary library;  // the first call loads KX4700.DLL
        EXPECT_EQ(library.CloseDevice(0), kKX4700);
    }
    EXPECT_THAT(boxes.boxes, ::testing::IsEmpty());
}

TEST(CSdkLibrary, AMissingEntryPointGives98WithoutABox) {
    MessageBoxRecorder boxes;
    CSdkLibrary library;
    std::int32_t position = 0;
    EXPECT_EQ(library.OpenDevice("", 0), 0);
    EXPECT_EQ(library.GetSensorPos(&position), SDK_NO_ENTRY);
    EXPECT_EQ(library.SetRibbonSensor(), SDK_NO_ENTRY);
    EXPECT_THAT(boxes.boxes, ::testing::IsEmpty());
}

#elif defined(PROBE_CRDPRT_ONLY)

TEST(CSdkLibrary, FallsBackToCrdprtWhenKX4700IsMissing) {
    CSdkLibrary library;
    EXPECT_EQ(library.EnsureLoaded(), 0);
    EXPECT_EQ(library.CloseDevice(0), kCrdprt);
}

#else

TEST(CSdkLibrary, WithoutALibraryEveryCallShowsTheBoxAndGivesMinus3) {
    MessageBoxRecorder boxes;
    CSdkLibrary library;
    std::int32_t first = 0;
    std::int32_t second = 0;
    EXPECT_EQ(library.OpenDevice("", 0), SDK_NOT_LOADED);
    EXPECT_EQ(library.GetRibbonSensorEx(&first, &second), SDK_NOT_LOADED);
    EXPECT_FALSE(library.IsLoaded());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const auto& box : boxes.boxes) {
        EXPECT_EQ(box.caption, "KX4700_TEST.EXE");
        EXPECT_EQ(box.text, "KX4700.DLL NOT FOUND (4)");
        EXPECT_EQ(box.icon, platform::MessageIcon::None);
        EXPECT_TRUE(box.ownerless);
    }
}

#endif

}  // namespace
