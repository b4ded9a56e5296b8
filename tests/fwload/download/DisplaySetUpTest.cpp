// The display set-up after a download: the settings lines, their fields and padding, and the
// hand-over to the SDK library with its wait, Stop and failures.
#include <gmock/gmock.h>

#include "EngineFixture.h"
#include "KX47XX_Dyn.h"
#include "PrinterDisplay.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(DisplayFields, SplitAtCommasAndBlanksWithQuotedFields) {
    EXPECT_THAT(SplitDisplayFields("T,R,LEFT,HELLO"), ElementsAre("T", "R", "LEFT", "HELLO"));
    EXPECT_THAT(SplitDisplayFields("T,R,LEFT,HELLO WORLD"), ElementsAre("T", "R", "LEFT", "HELLO", "WORLD"));
    EXPECT_THAT(SplitDisplayFields("T,R,LEFT,\"HELLO WORLD\""), ElementsAre("T", "R", "LEFT", "HELLO WORLD"));
    EXPECT_THAT(SplitDisplayFields("  T , R ,\tLEFT,  \"A,\"\"B\"\"\"  "), ElementsAre("T", "R", "LEFT", "A,\"B\""));
    EXPECT_THAT(SplitDisplayFields("A,"), ElementsAre("A", ""));
    EXPECT_THAT(SplitDisplayFields("A,  "), ElementsAre("A"));
    EXPECT_THAT(SplitDisplayFields("A,,B"), ElementsAre("A", "", "B"));
    EXPECT_THAT(SplitDisplayFields("\"AB\"CD"), ElementsAre("AB", "CD"));
    EXPECT_THAT(SplitDisplayFields("\"\""), ElementsAre(""));
    EXPECT_THAT(SplitDisplayFields("\"open to the end"), ElementsAre("open to the end"));
    EXPECT_THAT(SplitDisplayFields(""), IsEmpty());
    EXPECT_THAT(SplitDisplayFields("   \t "), IsEmpty());
}

TEST(DisplayText, PadsToSixteenCharactersByAlignment) {
    EXPECT_EQ(AlignDisplayText("HELLO", "center"), "     HELLO      ");
    EXPECT_EQ(AlignDisplayText("HELLO", "left"), "HELLO           ");
    EXPECT_EQ(AlignDisplayText("HELLO", "RIGHT"), "           HELLO");
    EXPECT_EQ(AlignDisplayText("HELLO", ""), "     HELLO      ");
    EXPECT_EQ(AlignDisplayText("", "LEFT"), std::string(16, ' '));
    const std::string seventeen(17, 'x');
    const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
    for (const char* alignment : {"LEFT", "RIGHT", "CENTER"}) {
        EXPECT_EQ(AlignDisplayText(seventeen, alignment), seventeen);
        EXPECT_EQ(AlignDisplayText(twenty, alignment), twenty);
        EXPECT_EQ(AlignDisplayText(std::string(16, 'y'), alignment), std::string(16, 'y'));
    }
}

TEST(DisplayLine, KindDecidesTheCall) {
    const DisplayLineWrite append = DescribeDisplayLine(2, "A");
    EXPECT_EQ(append.call, DisplayLineWrite::Call::Write);
    EXPECT_EQ(append.slot, 0x31);
    EXPECT_EQ(append.kind, 0x41);
    EXPECT_EQ(append.text, "");

    const DisplayLineWrite reverse = DescribeDisplayLine(1, "T,R,LEFT,HELLO WORLD");
    EXPECT_EQ(reverse.slot, 0x30);
    EXPECT_EQ(reverse.kind, 0x40);
    EXPECT_EQ(reverse.text, "HELLO           ");
    EXPECT_EQ(DescribeDisplayLine(4, "T,N,RIGHT,HI").kind, 0x30);
    EXPECT_EQ(DescribeDisplayLine(4, "T,r,RIGHT,HI").kind, 0x30);

    // Unquoted, "logo 1" is two fields; the line uses the first.
    const DisplayLineWrite image = DescribeDisplayLine(3, "I,x,y,logo 1");
    EXPECT_EQ(image.call, DisplayLineWrite::Call::WriteEx);
    EXPECT_EQ(image.text, "logo");
    const DisplayLineWrite imageQuoted = DescribeDisplayLine(3, "I,x,y,\"logo 1\"");
    EXPECT_EQ(imageQuoted.call, DisplayLineWrite::Call::WriteEx);
    EXPECT_EQ(imageQuoted.slot, 0x32);
    EXPECT_EQ(imageQuoted.kind, 0x31);
    EXPECT_EQ(imageQuoted.text, "logo 1");

    EXPECT_EQ(DescribeDisplayLine(1, "t,R,LEFT,HELLO").call, DisplayLineWrite::Call::None);
    EXPECT_EQ(DescribeDisplayLine(1, "").call, DisplayLineWrite::Call::None);
    // Too few fields for a text or image line: nothing is read past the end, nothing is written.
    EXPECT_EQ(DescribeDisplayLine(1, "T,R,LEFT").call, DisplayLineWrite::Call::None);
    EXPECT_EQ(DescribeDisplayLine(1, "I").call, DisplayLineWrite::Call::None);
}

class DisplaySetUp : public EngineTest {
protected:
    void Settings(const std::string& section) { host.settingsFile = dir.Write("fwload.ini", section); }

    FakeSdk sdk{clock};
};

TEST_F(DisplaySetUp, WritesTheModelsLinesAndSwitchesTheDisplayOn) {
    Settings("[Other]\n1=A\n[KX-4700]\n1=T,N,center,HELLO\n2=A\n3=I,-,-,\"logo.bmp\"\n4=T,R,RIGHT,\"HELLO WORLD\"\n");
    ASSERT_TRUE(sdk.Preload());
    engine.SetUpPrinterDisplay();
    EXPECT_THAT(sdk.LineWrites(), ElementsAre("UserLCDMemoryWrite(17,'0',0x30,\"     HELLO      \")",
                                              "UserLCDMemoryWrite(17,'1',0x41,\"\")",
                                              "UserLCDMemoryWriteEx(17,'2',0x31,\"logo.bmp\")",
                                              "UserLCDMemoryWrite(17,'3',0x40,\"     HELLO WORLD\")"));
    EXPECT_EQ(sdk.calls.back(), "LCD_DISPLAY(9,0,0)");
    EXPECT_THAT(host.StatusTexts(), ElementsAre("Status: Initializing!!...", "Status: Initialization complete!!..."));
    EXPECT_EQ(KX47XXLibHandle, 0u);
}

TEST_F(DisplaySetUp, ASectionWithoutKeysStillSwitchesTheDisplayOn) {
    Settings("[KX-4700]\n1=t,R,LEFT,x\n2=T,R,LEFT\n");
    ASSERT_TRUE(sdk.Preload());
    engine.SetUpPrinterDisplay();
    EXPECT_THAT(sdk.LineWrites(), IsEmpty());
    EXPECT_EQ(sdk.calls.back(), "LCD_DISPLAY(9,0,0)");
    EXPECT_EQ(host.status, "Status: Initialization complete!!...");
}

TEST_F(DisplaySetUp, AsksForTheStatusOnceASecondUntilThePrinterAnswers) {
    sdk.busyCalls = 3;
    ASSERT_TRUE(sdk.Preload());
    engine.SetUpPrinterDisplay();
    EXPECT_THAT(std::vector<std::string>(sdk.calls.begin(), sdk.calls.begin() + 4),
                ElementsAre("Get_StatusEx@0", "Get_StatusEx@1001", "Get_StatusEx@2002", "Get_StatusEx@3003"));
    EXPECT_EQ(host.status, "Status: Initialization complete!!...");
    // Stop is enabled for the wait, disabled for the writes.
    EXPECT_THAT(std::vector<std::string>(host.events.begin(), host.events.begin() + 2),
                ElementsAre("stop: on", "status: Status: Initializing!!..."));
    EXPECT_NE(std::find(host.events.begin(), host.events.end(), "stop: off"), host.events.end());
}

TEST_F(DisplaySetUp, TheModelIsReadAfterTheWait) {
    Settings("[KX-4700]\n1=A\n[KX-4710]\n4=A\n");
    sdk.busyCalls = 2;
    host.At(500, [this] { host.model = "KX-4710"; });
    ASSERT_TRUE(sdk.Preload());
    engine.SetUpPrinterDisplay();
    EXPECT_THAT(sdk.LineWrites(), ElementsAre("UserLCDMemoryWrite(17,'3',0x41,\"\")"));
}

TEST_F(DisplaySetUp, StopDuringTheWaitWritesNothing) {
    sdk.busyCalls = -1;
    host.At(4500, [this] { engine.BtnCancelClick(); });
    ASSERT_TRUE(sdk.Preload());
    engine.SetUpPrinterDisplay();
    EXPECT_THAT(sdk.LineWrites(), IsEmpty());
    EXPECT_EQ(std::count(sdk.calls.begin(), sdk.calls.end(), "LCD_DISPLAY(9,0,0)"), 0);
    EXPECT_EQ(host.status, "Status: Initializing!!...");
    EXPECT_EQ(KX47XXLibHandle, 0u);
}

TEST_F(DisplaySetUp, AFailedLineWriteEndsTheSetUp) {
    Settings("[KX-4700]\n1=A\n2=A\n3=A\n");
    sdk.failingLineWrite = 2;
    ASSERT_TRUE(sdk.Preload());
    engine.SetUpPrinterDisplay();
    EXPECT_EQ(sdk.LineWrites().size(), 2u);
    EXPECT_EQ(std::count(sdk.calls.begin(), sdk.calls.end(), "LCD_DISPLAY(9,0,0)"), 0);
    EXPECT_EQ(host.status, "Status: Initializing!!...");
    EXPECT_EQ(KX47XXLibHandle, 0u);
}

TEST_F(DisplaySetUp, IsSkippedSilentlyWithoutTheLibraryOrWithoutAnOperation) {
    host.status = "Status: Download complete!!...";
    engine.SetUpPrinterDisplay();  // no crdprt library anywhere near this test
    EXPECT_EQ(host.status, "Status: Download complete!!...");
    EXPECT_THAT(host.events, IsEmpty());

    ASSERT_TRUE(sdk.Preload());
    KX47XXSlots.UserLCDMemoryWriteEx = nullptr;
    engine.SetUpPrinterDisplay();
    EXPECT_THAT(sdk.calls, IsEmpty());
    EXPECT_THAT(host.events, IsEmpty());
    EXPECT_EQ(KX47XXLibHandle, 0u);
}

TEST_F(DisplaySetUp, ClosesTheRawLinkBeforeTheSdkTakesOver) {
    ASSERT_TRUE(FindCardPrinter());
    ASSERT_TRUE(sdk.Preload());
    sdk.journal = &device.calls;
    engine.SetUpPrinterDisplay();
    EXPECT_EQ(device.openHandles, 0);
    const auto close = std::find(device.calls.begin(), device.calls.end(), "FT_Close");
    const auto firstSdkCall = std::find(device.calls.begin(), device.calls.end(), "Get_StatusEx@0");
    EXPECT_LT(close, firstSdkCall);
    EXPECT_NE(firstSdkCall, device.calls.end());
}

}  // namespace
