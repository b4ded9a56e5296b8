// The portable layer: library names and search, program and settings paths, files, clock.
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <clocale>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "Clock.h"
#include "DynamicLibrary.h"
#include "Files.h"
#include "MessageBox.h"
#include "NumberSeparators.h"
#include "ProgramPath.h"
#include "TempDir.h"

namespace {

TEST(DynamicLibrary, MapsWindowsNamesToSharedObjectNames) {
#if defined(_WIN32)
    EXPECT_EQ(platform::NativeLibraryName("ftd2xx.dll"), "ftd2xx.dll");
    EXPECT_EQ(platform::NativeLibraryName("CRDPRT.DLL"), "CRDPRT.DLL");
#else
    EXPECT_EQ(platform::NativeLibraryName("ftd2xx.dll"), "libftd2xx.so");
    EXPECT_EQ(platform::NativeLibraryName("crdprt.dll"), "libcrdprt.so");
    EXPECT_EQ(platform::NativeLibraryName("CRDPRT.DLL"), "libcrdprt.so");
    EXPECT_EQ(platform::NativeLibraryName("KX4700.DLL"), "libkx4700.so");
    EXPECT_EQ(platform::NativeLibraryName("/opt/Lib/Foo.Dll"), "/opt/Lib/libfoo.so");
    EXPECT_EQ(platform::NativeLibraryName("libm.so.6"), "libm.so.6");
#endif
}

TEST(DynamicLibrary, FindsALibraryBesideTheProgramByItsWindowsName) {
    // The build puts the probe library next to this test program, outside the loader's search path.
    const platform::LibraryHandle handle = platform::LoadLibraryByName("SuiteProbe.DLL");
    ASSERT_TRUE(platform::IsLoadedHandle(handle));
    using ProbeFunction = int (*)();
    auto probe = reinterpret_cast<ProbeFunction>(platform::FindLibraryEntry(handle, "SuiteProbeValue"));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe(), 4700);
    EXPECT_EQ(platform::FindLibraryEntry(handle, "NoSuchExport"), nullptr);
    EXPECT_TRUE(platform::FreeLibraryHandle(handle));
}

TEST(DynamicLibrary, MissingLibrariesAndHandlesBelow32AreNotLoaded) {
    EXPECT_EQ(platform::LoadLibraryByName("NoSuchLibrary.dll"), 0u);
    EXPECT_FALSE(platform::IsLoadedHandle(31));
    EXPECT_TRUE(platform::IsLoadedHandle(32));
    EXPECT_EQ(platform::FindLibraryEntry(0, "FT_Open"), nullptr);
    EXPECT_FALSE(platform::FreeLibraryHandle(0));
}

TEST(ProgramPath, SettingsFileReplacesTheFileNamesExtension) {
    EXPECT_EQ(platform::SettingsFileName("/opt/suite/fwload"), "/opt/suite/fwload.ini");
    EXPECT_EQ(platform::SettingsFileName("/opt/suite/fwload.bin"), "/opt/suite/fwload.ini");
    EXPECT_EQ(platform::SettingsFileName("/opt/suite/a.b.c"), "/opt/suite/a.b.ini");
    EXPECT_EQ(platform::SettingsFileName("/opt/v1.2/fwload"), "/opt/v1.2/fwload.ini");
    EXPECT_EQ(platform::SettingsFileName("fwload"), "fwload.ini");
}

TEST(ProgramPath, IsThisTestProgram) {
    const std::string path = platform::ProgramPath();
    const std::string directory = platform::ProgramDirectory();
    EXPECT_NE(path.find("platform_tests"), std::string::npos) << path;
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), platform::PathSeparator());
    EXPECT_EQ(path.substr(0, directory.size()), directory);
    EXPECT_EQ(path.find(platform::PathSeparator(), directory.size()), std::string::npos);
}

TEST(Files, ExistingFileMeansNotADirectory) {
    TempDir dir;
    const std::string file = dir.Write("a.bin", "x");
    EXPECT_TRUE(platform::FileExists(file));
    EXPECT_FALSE(platform::FileExists(dir.Path()));
    EXPECT_FALSE(platform::FileExists(dir.File("missing")));
    EXPECT_FALSE(platform::FileExists(""));
    EXPECT_TRUE(platform::DirectoryExists(dir.Path()));
    EXPECT_FALSE(platform::DirectoryExists(file));
}

TEST(Files, ReadsSeeksAndSizesARegularFile) {
    TempDir dir;
    platform::ReadOnlyFile file;
    ASSERT_TRUE(file.Open(dir.Write("a.bin", "0123456789")));
    EXPECT_EQ(file.Size(), 10);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    ASSERT_TRUE(file.Seek(8));
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(file.Failed());
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(buffer, 1), 0u);
    EXPECT_TRUE(file.Failed());
}

TEST(Files, RefusesDirectoriesFifosAndMissingFilesWithAReason) {
    TempDir dir;
    platform::ReadOnlyFile file;
    EXPECT_FALSE(file.Open(dir.Path()));
    EXPECT_FALSE(file.ErrorText().empty());
    EXPECT_FALSE(file.Open(dir.File("missing.bin")));
    EXPECT_FALSE(file.ErrorText().empty());
#if !defined(_WIN32)
    // A FIFO would block a plain open until a writer comes; it must be refused at once.
    const std::string fifo = dir.File("pipe.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(file.Open(fifo));
    EXPECT_FALSE(file.IsOpen());
#endif
}

TEST(Clock, LocalTimeOfDayIsTheLocalHourMinuteAndSecond) {
    for (const std::time_t moment : {std::time_t{9 * 3600 + 5 * 60 + 7}, std::time_t{1796766591}}) {
        const std::tm* expected = std::localtime(&moment);
        ASSERT_NE(expected, nullptr);
        const platform::TimeOfDay time = platform::LocalTimeOfDay(moment);
        EXPECT_EQ(time.hour, expected->tm_hour);
        EXPECT_EQ(time.minute, expected->tm_min);
        EXPECT_EQ(time.second, expected->tm_sec);
    }
}

TEST(NumberSeparators, TheCLocaleFallsBackToCommaAndPoint) {
    std::setlocale(LC_ALL, "C");
    const platform::NumberSeparators separators = platform::UserNumberSeparators();
    EXPECT_EQ(separators.thousands, ",");
    EXPECT_EQ(separators.decimal, ".");
}

TEST(MessageBox, HandlerReceivesEveryBoxUntilReplaced) {
    std::vector<platform::MessageBoxRequest> seen;
    const auto previous = platform::SetMessageBoxHandler(
        [&](const platform::MessageBoxRequest& request) { seen.push_back(request); });
    platform::ShowMessageBox("Error", "USB device not found.", platform::MessageIcon::Information);
    platform::SetMessageBoxHandler(previous);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "Error");
    EXPECT_EQ(seen[0].text, "USB device not found.");
    EXPECT_EQ(seen[0].icon, platform::MessageIcon::Information);
}

}  // namespace
