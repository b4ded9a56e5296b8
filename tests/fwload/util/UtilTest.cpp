// Number formatting with thousands separators and the settings-file helpers.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "qvxFileUtils.h"
#include "qvxStrUtils.h"

namespace {

const platform::NumberSeparators kCommaPoint{",", "."};
const platform::NumberSeparators kPointComma{".", ","};

TEST(FormatWithThousands, GroupsIntegerDigitsInThrees) {
    EXPECT_EQ(FormatWithThousands(0, kCommaPoint), "0");
    EXPECT_EQ(FormatWithThousands(100, kCommaPoint), "100");
    EXPECT_EQ(FormatWithThousands(999, kCommaPoint), "999");
    EXPECT_EQ(FormatWithThousands(1000, kCommaPoint), "1,000");
    EXPECT_EQ(FormatWithThousands(1042, kCommaPoint), "1,042");
    EXPECT_EQ(FormatWithThousands(100000, kCommaPoint), "100,000");
    EXPECT_EQ(FormatWithThousands(1000000, kCommaPoint), "1,000,000");
    EXPECT_EQ(FormatWithThousands(1234567, kCommaPoint), "1,234,567");
    EXPECT_EQ(FormatWithThousands(2147483647, kCommaPoint), "2,147,483,647");
}

TEST(FormatWithThousands, KeepsSignAndFractionWithTheUsersSeparators) {
    EXPECT_EQ(FormatWithThousands(-1234.5L, kCommaPoint), "-1,234.5");
    EXPECT_EQ(FormatWithThousands(-999, kCommaPoint), "-999");
    EXPECT_EQ(FormatWithThousands(-2147483648.0L, kCommaPoint), "-2,147,483,648");
    EXPECT_EQ(FormatWithThousands(1234567, kPointComma), "1.234.567");
    EXPECT_EQ(FormatWithThousands(-1234.5L, kPointComma), "-1.234,5");
    // Separators of several bytes, such as a narrow no-break space in UTF-8.
    EXPECT_EQ(FormatWithThousands(1234567, {"\xE2\x80\xAF", ","}), "1\xE2\x80\xAF" "234\xE2\x80\xAF" "567");
}

TEST(IniHelpers, SectionsReplaceTheListAndStringsFallBackToTheDefault) {
    TempDir dir;
    const std::string ini = dir.Write("fwload.ini", "[KX-4700]\n1=A\n2= T,R,LEFT,\"HELLO WORLD\" \n3=\n[Basic]\n");
    std::vector<std::string> list = {"stale"};
    IniReadSections(ini, list);
    EXPECT_EQ(list, (std::vector<std::string>{"KX-4700", "Basic"}));
    EXPECT_EQ(IniReadString(ini, "kx-4700", "2", ""), "T,R,LEFT,\"HELLO WORLD\"");
    EXPECT_EQ(IniReadString(ini, "KX-4700", "3", "x"), "");
    EXPECT_EQ(IniReadString(ini, "KX-4700", "4", ""), "");
    EXPECT_EQ(IniReadString(ini, "Basic", "1", "dflt"), "dflt");

    IniReadSections(dir.File("missing.ini"), list);
    EXPECT_TRUE(list.empty());
}

TEST(IniHelpers, ValuesAreCutTo2047Bytes) {
    TempDir dir;
    const std::string ini = dir.Write("fwload.ini", "[m]\n1=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(IniReadString(ini, "m", "1", ""), std::string(2047, 'x'));
}

}  // namespace
