// The three tools on a machine without any card printer SDK library.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CRibbonCapDlg.h"
#include "CRibbonSenseDlg.h"
#include "CSensorPosDlg.h"
#include "MessageBoxRecorder.h"

namespace {

const std::string kBox = "KX4700_TEST.EXE: KX4700.DLL NOT FOUND (4)";
using ::testing::ElementsAre;

TEST(ToolsWithoutSdk, SensorPositionShowsTheBoxTwicePerClick) {
    MessageBoxRecorder boxes;
    CSensorPosDlg dialog;
    EXPECT_TRUE(boxes.boxes.empty());
    dialog.getButton->click();
    EXPECT_THAT(boxes.Lines(), ElementsAre(kBox, kBox));
    EXPECT_EQ(dialog.LogText(), "GetSensor - NG \r\nCloseDeivce - NG \r\n");
}

TEST(ToolsWithoutSdk, RibbonCapacityShowsTheBoxThreeTimesBeforeTheDialog) {
    MessageBoxRecorder boxes;
    CRibbonCapDlg dialog;
    EXPECT_THAT(boxes.Lines(), ElementsAre(kBox, kBox, kBox));
    EXPECT_EQ(dialog.serialField->text(), "");
    EXPECT_EQ(dialog.statusLine->text(), "Load Fail. Check CardPrinter");
    EXPECT_EQ(dialog.capacityField->text(), "");
    dialog.settingButton->click();
    EXPECT_EQ(boxes.boxes.size(), 6u);
    EXPECT_EQ(dialog.statusLine->text(), "Setting - Fail");
}

TEST(ToolsWithoutSdk, RibbonSenseLogsTheFailedOpenAndChecksWithZeroReadings) {
    MessageBoxRecorder boxes;
    CRibbonSenseDlg dialog([] { return std::time_t{0}; });
    EXPECT_THAT(boxes.Lines(), ElementsAre(kBox));
    EXPECT_THAT(dialog.LogText(), ::testing::EndsWith("OpenDevice - fail \r\n"));
    dialog.checkButton->click();
    EXPECT_EQ(boxes.boxes.size(), 3u);
    EXPECT_THAT(dialog.LogText(), ::testing::EndsWith("GetRibbonSensorEx - fail \r\n"
                                                      "[0:0:0] [1/100]Ribbon Sensor [0][0] \r\n"));
    // Later buttons show their own two boxes and do not try to reopen the printer.
    dialog.setButton->click();
    EXPECT_EQ(boxes.boxes.size(), 5u);
    EXPECT_THAT(dialog.LogText(), ::testing::EndsWith("[0:0:0] [1/100]Ribbon Sensor [0][0] \r\n"
                                                      "[0:0:0] SetRibbonSensor - fail \r\n"
                                                      "[0:0:0] GetRibbonSensorEx - fail \r\n"));
}

}  // namespace
