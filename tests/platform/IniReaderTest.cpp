// Our INI reader against the profile API's observable behaviour, through real files.
#include <filesystem>

#include <gtest/gtest.h>

#include "IniCases.h"
#include "IniFile.h"
#include "IniParser.h"
#include "TempDir.h"

namespace {

constexpr std::size_t kValueBuffer = 2048;
constexpr std::size_t kNamesBuffer = 16384;

TEST(IniReader, ReadsStringsAsTheProfileApiDoes) {
    TempDir dir;
    for (const IniStringCase& c : IniStringCases()) {
        const std::string file = dir.Write("case.ini", c.content);
        EXPECT_EQ(platform::ReadIniString(file, c.section, c.key, c.defaultValue, kValueBuffer), c.expected)
            << c.title;
    }
}

TEST(IniReader, ListsSectionsAsTheProfileApiDoes) {
    TempDir dir;
    for (const IniSectionsCase& c : IniSectionsCases()) {
        const std::string file = dir.Write("case.ini", c.content);
        EXPECT_EQ(platform::ReadIniSectionNames(file, kNamesBuffer), c.expected) << c.title;
    }
}

TEST(IniReader, ReadsTheFileAfreshOnEveryCall) {
    TempDir dir;
    const std::string file = dir.Write("a.ini", "[m]\nk=1\n");
    EXPECT_EQ(platform::ReadIniString(file, "m", "k", "", kValueBuffer), "1");
    dir.Write("a.ini", "[m]\nk=2\n[n]\n");
    EXPECT_EQ(platform::ReadIniString(file, "m", "k", "", kValueBuffer), "2");
    EXPECT_EQ(platform::ReadIniSectionNames(file, kNamesBuffer), (std::vector<std::string>{"m", "n"}));
}

TEST(IniReader, MissingOrUnreadableFilesGiveDefaultsAndNoSections) {
    TempDir dir;
    const std::string missing = dir.File("missing.ini");
    EXPECT_TRUE(platform::ReadIniSectionNames(missing, kNamesBuffer).empty());
    // An absent file reads as an empty one, so the default is prepared as usual...
    EXPECT_EQ(platform::ReadIniString(missing, "m", "k", "\"d\" ", kValueBuffer), "d");
    // ...while a file that cannot be opened hands the default back without its quotes touched.
    EXPECT_TRUE(platform::ReadIniSectionNames(dir.Path(), kNamesBuffer).empty());
    EXPECT_EQ(platform::ReadIniString(dir.Path(), "m", "k", "\"d\" ", kValueBuffer), "\"d\"");
    EXPECT_EQ(platform::ReadIniString(dir.File("no/such/folder.ini"), "m", "k", "d", kValueBuffer), "d");
}

TEST(IniReader, ARelativeNameIsReadFromTheCurrentFolder) {
    TempDir dir;
    dir.Write("relative.ini", "[m]\nk=here\n");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string value = platform::ReadIniString("relative.ini", "m", "k", "d", kValueBuffer);
    const std::vector<std::string> sections = platform::ReadIniSectionNames("relative.ini", kNamesBuffer);
    std::filesystem::current_path(before);
    EXPECT_EQ(value, "here");
    EXPECT_EQ(sections, std::vector<std::string>{"m"});
}

TEST(IniReader, SectionNamesAreCutToTheBufferLikeTheApi) {
    TempDir dir;
    // Ten names of 4 bytes need 5 bytes each with their NUL; a 23-byte buffer keeps 22 bytes for
    // names: four whole names (20 bytes), then the fifth cut to what is left before the last NUL.
    std::string content;
    for (int i = 0; i < 10; ++i) content += "[s" + std::to_string(i) + "xy]\n";
    const std::string file = dir.Write("many.ini", content);
    EXPECT_EQ(platform::ReadIniSectionNames(file, 23),
              (std::vector<std::string>{"s0xy", "s1xy", "s2xy", "s3xy", "s"}));
}

TEST(IniReader, BadFilesStayBounded) {
    TempDir dir;
    // Thousands of sections: the list stops at the 16,384-byte buffer.
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "[section" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    const std::string manyFile = dir.Write("many.ini", many);
    const std::vector<std::string> names = platform::ReadIniSectionNames(manyFile, kNamesBuffer);
    std::size_t packed = 0;
    for (const std::string& name : names) packed += name.size() + 1;
    EXPECT_LT(packed, kNamesBuffer);
    EXPECT_GT(names.size(), 1000u);
    EXPECT_EQ(platform::ReadIniString(manyFile, "section9999", "k", "", kValueBuffer), "9999");

    // A single line of 1 MiB and binary noise read without trouble.
    const std::string oneLine = dir.Write("line.ini", "[m]\nk=" + std::string(1 << 20, 'x'));
    EXPECT_EQ(platform::ReadIniString(oneLine, "m", "k", "", kValueBuffer).size(), 2047u);
    std::string noise;
    for (int i = 0; i < 70000; ++i) noise += static_cast<char>((i * 131) & 0xFF);
    const std::string binary = dir.Write("binary.ini", noise);
    EXPECT_EQ(platform::ReadIniString(binary, "m", "k", "d", kValueBuffer), "d");
}

TEST(IniParser, CopyEntryKeepsTheClosingQuoteOfACutValue) {
    EXPECT_EQ(platform::CopyIniEntry("\"abcdef\"", 4), "abc");
    EXPECT_EQ(platform::CopyIniEntry("\"ab\"", 4), "ab");
    EXPECT_EQ(platform::CopyIniEntry("abc", 1), "");
}

TEST(IniParser, ScanStopsWhenTheVisitorSaysSo) {
    const std::string text = "[a]\nk=v\n[b]\n";
    std::size_t offset = 0;
    // A source that hands out one byte at a time, to cross every chunk boundary.
    const platform::IniByteSource source = [&](char* buffer, std::size_t) -> std::size_t {
        if (offset >= text.size()) return 0;
        buffer[0] = text[offset++];
        return 1;
    };
    std::vector<std::string> seen;
    platform::ScanIni(source, [&](const platform::IniEntry& entry) {
        seen.push_back(entry.name);
        return entry.name != "k";
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "k"}));
}

}  // namespace
