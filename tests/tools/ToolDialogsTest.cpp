// The three service tools against the virtual printer's SDK face, loaded by name as the programs
// load it; the printer's state and trace show what reached it.
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cmath>
#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CRibbonCapDlg.h"
#include "CRibbonSenseDlg.h"
#include "CSensorPosDlg.h"
#include "DialogKeys.h"
#include "MessageBoxRecorder.h"
#include "SimEnvironment.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// WCAG relative luminance of an sRGB colour.
double Luminance(QRgb rgb) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

// Contrast of the darkest pixel inside an edit's border against its background, as drawn.
double DrawnTextContrast(QWidget* edit) {
    const QImage image = edit->grab().toImage();
    const QRgb background = image.pixel(image.width() - 4, image.height() / 2);
    double darkest = Luminance(background);
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = 3; x < image.width() - 3; ++x) darkest = std::min(darkest, Luminance(image.pixel(x, y)));
    }
    return (Luminance(background) + 0.05) / (darkest + 0.05);
}

class Tools : public ::testing::Test {
protected:
    Tools() { sim.Set("FWSIM_TRACE", trace.File("sdk.trace")); }
    std::string Trace() const { return ReadWholeFile(trace.File("sdk.trace")); }
    void Store(const std::function<void(sim::PrinterState&)>& change) { sim::PrinterStore(sim.StateDir()).Update(change); }

    TempDir trace;
    SimEnvironment sim;
    MessageBoxRecorder boxes;
};

// sensorpos

TEST_F(Tools, SensorPositionGetLogsThreeLinesAndShowsTheValue) {
    CSensorPosDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "sensorpos");
    EXPECT_EQ(dialog.positionCombo->count(), 2);
    EXPECT_EQ(dialog.positionCombo->itemText(0), "0 : OLD");
    EXPECT_EQ(dialog.positionCombo->itemText(1), "1 : NEW");
    EXPECT_EQ(dialog.positionCombo->currentIndex(), 0);
    EXPECT_EQ(Trace(), "");  // no SDK call before the first click

    dialog.getButton->click();
    EXPECT_EQ(dialog.LogText(), "OpenDevice - OK \r\nGetSensor - OK \r\nCloseDeivce - OK \r\n");
    EXPECT_EQ(dialog.positionField->text(), "OLD");
    EXPECT_FALSE(dialog.positionField->isEnabled());
    EXPECT_THAT(boxes.boxes, IsEmpty());
}

TEST_F(Tools, SensorPositionSetThenGetAcrossTwoRunsShowsTheNewValue) {
    {
        CSensorPosDlg first;
        first.positionCombo->setCurrentIndex(1);
        first.setButton->click();
        EXPECT_EQ(first.LogText(), "OpenDevice - OK \r\nSetSensor - OK \r\nCloseDeivce - OK \r\n");
        EXPECT_EQ(first.positionField->text(), "");  // Set leaves the field alone
    }
    EXPECT_EQ(sim.State().sensorPosition, 1);
    CSensorPosDlg second;
    second.getButton->click();
    EXPECT_EQ(second.positionField->text(), "NEW");
}

TEST_F(Tools, SensorPositionAValueOtherThanOldOrNewLeavesTheField) {
    CSensorPosDlg dialog;
    dialog.getButton->click();
    Store([](sim::PrinterState& state) { state.sensorPosition = 2; });
    dialog.getButton->click();
    EXPECT_EQ(dialog.positionField->text(), "OLD");
    EXPECT_THAT(dialog.LogText(), HasSubstr("GetSensor - OK \r\nCloseDeivce - OK \r\n"));
}

TEST_F(Tools, SensorPositionTypedOverSelectionWritesNothing) {
    CSensorPosDlg dialog;
    dialog.positionCombo->lineEdit()->clear();
    dialog.positionCombo->lineEdit()->insert(QStringLiteral("5"));
    emit dialog.positionCombo->lineEdit()->textEdited(QStringLiteral("5"));
    dialog.setButton->click();
    EXPECT_EQ(dialog.LogText(), "OpenDevice - OK \r\nSetSensor - NG \r\nCloseDeivce - OK \r\n");
    EXPECT_THAT(Trace(), Not(HasSubstr("SetSensorPos")));
}

TEST_F(Tools, SensorPositionFailuresAreLoggedAsFailures) {
    sim.Set("FWSIM_FAULTS", "sdk-fail:GetSensorPos");
    CSensorPosDlg dialog;
    dialog.getButton->click();
    EXPECT_EQ(dialog.LogText(), "OpenDevice - OK \r\nGetSensor - NG \r\nCloseDeivce - OK \r\n");

    sim.Set("FWSIM_FAULTS", "sdk-fail:OpenDevice");
    CSensorPosDlg closed;
    closed.getButton->click();
    closed.setButton->click();
    // Closing a printer that never opened fails, and is reported so.
    EXPECT_EQ(closed.LogText(), "GetSensor - NG \r\nCloseDeivce - NG \r\nSetSensor - NG \r\nCloseDeivce - NG \r\n");
}

TEST_F(Tools, SensorPositionIgnoresEnterAndEscape) {
    CSensorPosDlg dialog;
    dialog.show();
    dialog.getButton->setFocus();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        PressKey(dialog.getButton, key);
        PressKey(dialog.positionCombo, key);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.LogText(), "");
    EXPECT_EQ(dialog.positionCombo->count(), 2);
    PressKey(dialog.getButton, Qt::Key_Space);  // a button still answers its own key
    EXPECT_THAT(dialog.LogText(), HasSubstr("GetSensor - OK"));
}

TEST_F(Tools, SensorPositionGroupFrameRunsThroughTheTitleAboveTheButtons) {
    CSensorPosDlg dialog;
    dialog.show();
    // The frame's top edge is the first row, right of the title, that differs from the face.
    const QImage image = dialog.group->grab().toImage();
    const int x = image.width() - 10;
    int frameTop = -1;
    for (int y = 0; y < image.height() && frameTop < 0; ++y) {
        if (image.pixel(x, y) != image.pixel(x, 0)) frameTop = y;
    }
    const int titleHeight = QFontMetrics(dialog.group->font()).height();
    EXPECT_GT(frameTop, 0);
    EXPECT_LT(frameTop, titleHeight);
    EXPECT_LT(dialog.group->y() + frameTop, dialog.getButton->y());
}

TEST_F(Tools, ResultFieldsAreDisabledOutOfTheTabOrderAndReadable) {
    CSensorPosDlg sensor;
    sensor.getButton->click();
    CRibbonCapDlg ribbon;
    for (QLineEdit* field : {sensor.positionField, ribbon.capacityField, ribbon.serialField}) {
        field->window()->show();
        ASSERT_FALSE(field->text().isEmpty());
        EXPECT_FALSE(field->isEnabled());
        EXPECT_EQ(field->focusPolicy(), Qt::NoFocus);
        EXPECT_GE(DrawnTextContrast(field), 4.5) << field->text().toStdString();
    }
}

// ribboncap

TEST_F(Tools, RibbonCapacityStartUpShowsSerialAndCapacity) {
    sim.Set("FWSIM_SERIAL", "SN-0042");
    Store([](sim::PrinterState& state) { state.ribbonCapacity = '1'; });
    CRibbonCapDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "ribboncap");
    EXPECT_EQ(dialog.serialField->text(), "SN-0042");
    EXPECT_EQ(dialog.capacityField->text(), "Large");
    EXPECT_EQ(dialog.statusLine->text(), "Open - Success");
    EXPECT_EQ(dialog.capacityCombo->itemText(0), "1 : General");
    EXPECT_EQ(dialog.capacityCombo->itemText(1), "2 : Large");
    EXPECT_EQ(dialog.capacityCombo->currentIndex(), 0);
    EXPECT_THAT(Trace(), Not(HasSubstr("OpenDevice")));
}

TEST_F(Tools, RibbonCapacitySettingSendsTheCommandsByteForByte) {
    CRibbonCapDlg dialog;
    EXPECT_EQ(dialog.capacityField->text(), "General");
    dialog.capacityCombo->setCurrentIndex(1);
    dialog.settingButton->click();
    EXPECT_EQ(dialog.capacityField->text(), "Large");
    EXPECT_EQ(dialog.statusLine->text(), "Setting - Success");
    const std::string trace = Trace();
    const std::size_t set = trace.find("DeviceDirectSend2(8, 5, 0) = 0: 1B 2B 4D 56 53 20 31 0D\n");
    ASSERT_NE(set, std::string::npos);
    EXPECT_NE(trace.find("DeviceDirectSend2(7, 5, 1) = 0: 1B 21 56 20 33 37 0D\n", set), std::string::npos);

    dialog.capacityCombo->setCurrentIndex(0);
    dialog.settingButton->click();
    EXPECT_THAT(Trace(), HasSubstr("DeviceDirectSend2(8, 5, 0) = 0: 1B 2B 4D 56 53 20 30 0D\n"));
    EXPECT_EQ(dialog.capacityField->text(), "General");
}

TEST_F(Tools, RibbonCapacityWithoutASelectionSendsNothing) {
    CRibbonCapDlg dialog;
    const std::string before = Trace();
    emit dialog.capacityCombo->lineEdit()->textEdited(QStringLiteral("3 : Huge"));
    dialog.settingButton->click();
    EXPECT_EQ(dialog.statusLine->text(), "Setting - Fail");
    EXPECT_EQ(Trace(), before);
}

TEST_F(Tools, RibbonCapacityFailedFetchStillShowsAFilledReply) {
    sim.Set("FWSIM_FAULTS", "reply-then-fail");
    CRibbonCapDlg dialog;
    EXPECT_EQ(dialog.statusLine->text(), "Load Fail. Check CardPrinter");
    EXPECT_EQ(dialog.capacityField->text(), "General");
    dialog.settingButton->click();
    EXPECT_EQ(dialog.statusLine->text(), "Setting - Fail");

    sim.Set("FWSIM_FAULTS", "sdk-fail:DeviceDirectGet2");
    CRibbonCapDlg empty;
    EXPECT_EQ(empty.statusLine->text(), "Load Fail. Check CardPrinter");
    EXPECT_EQ(empty.capacityField->text(), "");
}

TEST_F(Tools, RibbonCapacitySerialIsCutAtTwentyBytesWithoutATerminator) {
    sim.Set("FWSIM_SERIAL", "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    sim.Set("FWSIM_FAULTS", "unterminated-serial");
    CRibbonCapDlg dialog;
    EXPECT_EQ(dialog.serialField->text(), "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(Tools, RibbonCapacityEnterPressesOnlyAFocusedButtonAndNoneLooksDefault) {
    const struct {
        const char* focus;
        QWidget* (*widget)(CRibbonCapDlg&);
        bool setsCapacity;
        bool closes;
    } cases[] = {
        {"combo", [](CRibbonCapDlg& d) -> QWidget* { return d.capacityCombo; }, false, true},
        {"Setting", [](CRibbonCapDlg& d) -> QWidget* { return d.settingButton; }, true, false},
        {"Exit", [](CRibbonCapDlg& d) -> QWidget* { return d.exitButton; }, false, true},
    };
    for (const auto& c : cases) {
        CRibbonCapDlg dialog;
        dialog.show();
        c.widget(dialog)->setFocus();
        const std::string before = Trace();
        PressKey(c.widget(dialog), Qt::Key_Return);
        EXPECT_EQ(Trace().size() > before.size(), c.setsCapacity) << c.focus;
        EXPECT_EQ(!dialog.isVisible(), c.closes) << c.focus;
        if (c.closes) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.focus;
        }
        EXPECT_FALSE(dialog.settingButton->isDefault() || dialog.exitButton->isDefault()) << c.focus;
    }
}

TEST_F(Tools, RibbonCapacityKeepsTheOrdinaryDialogKeys) {
    CRibbonCapDlg dialog;
    dialog.show();
    PressKey(dialog.capacityCombo, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.show();
    dialog.exitButton->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// ribbonsense

class RibbonSense : public Tools {
protected:
    RibbonSense() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~RibbonSense() override {
        unsetenv("TZ");
        tzset();
    }
    static std::time_t At9h05m07s() { return 9 * 3600 + 5 * 60 + 7; }
};

TEST_F(RibbonSense, OpensAtStartAndStampsEveryLine) {
    CRibbonSenseDlg dialog(&At9h05m07s);
    EXPECT_EQ(dialog.windowTitle(), "ribbonsense");
    EXPECT_EQ(dialog.LogText(), "[9:5:7] OpenDevice - Ok \r\n");
}

TEST_F(RibbonSense, AHundredGoodReadingsPass) {
    CRibbonSenseDlg dialog(&At9h05m07s);
    dialog.checkButton->click();
    EXPECT_EQ(dialog.LogText(), "[9:5:7] OpenDevice - Ok \r\n[9:5:7] GetRibbonSensorEx - success \r\n"
                                "[9:5:7] [100/100]Ribbon Sensor [555][560] \r\n");
    const std::string trace = Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 1 + 100 + 1);  // opening, readings, closing
}

TEST_F(RibbonSense, TheWindowIsInclusiveAndTheFirstBadReadingEndsTheCheck) {
    struct Case {
        const char* readings;
        const char* line;
    } cases[] = {
        {"530/1*50,580/2", "[9:5:7] GetRibbonSensorEx - success \r\n[9:5:7] [100/100]Ribbon Sensor [580][2] \r\n"},
        {"555/0*36,529/9", "[9:5:7] GetRibbonSensorEx - fail \r\n[9:5:7] [37/100]Ribbon Sensor [529][9] \r\n"},
        {"581/4", "[9:5:7] GetRibbonSensorEx - fail \r\n[9:5:7] [1/100]Ribbon Sensor [581][4] \r\n"},
    };
    for (const Case& c : cases) {
        sim.Set("FWSIM_RIBBON_READINGS", c.readings);
        CRibbonSenseDlg dialog(&At9h05m07s);
        dialog.checkButton->click();
        EXPECT_EQ(dialog.LogText(), std::string("[9:5:7] OpenDevice - Ok \r\n") + c.line) << c.readings;
    }
}

TEST_F(RibbonSense, AFailedReadingEndsTheCheckAsAFailure) {
    sim.Set("FWSIM_FAULTS", "sdk-fail:GetRibbonSensorEx:5");
    CRibbonSenseDlg dialog(&At9h05m07s);
    dialog.checkButton->click();
    EXPECT_THAT(dialog.LogText(), HasSubstr("GetRibbonSensorEx - fail \r\n[9:5:7] [5/100]Ribbon Sensor [555][560] \r\n"));
}

TEST_F(RibbonSense, ASecondButtonOpensThePrinterAgain) {
    CRibbonSenseDlg dialog(&At9h05m07s);
    dialog.checkButton->click();
    dialog.setButton->click();
    EXPECT_EQ(dialog.LogText(),
              "[9:5:7] OpenDevice - Ok \r\n[9:5:7] GetRibbonSensorEx - success \r\n"
              "[9:5:7] [100/100]Ribbon Sensor [555][560] \r\n[9:5:7] OpenDevice - Ok \r\n"
              "[9:5:7] SetRibbonSensor - success \r\n[9:5:7] GetRibbonSensorEx - success \r\n"
              "[9:5:7] Ribbon Sensor [555][560] \r\n");
    const sim::PrinterState state = sim.State();
    EXPECT_TRUE(state.ribbonSensorSet);
    EXPECT_EQ(state.configurationSaves, 1);
}

TEST_F(RibbonSense, SetFailuresAreAllReportedAsTheReadingFailing) {
    sim.Set("FWSIM_FAULTS", "sdk-fail:SetRibbonSensor");
    CRibbonSenseDlg failedSet(&At9h05m07s);
    failedSet.setButton->click();
    EXPECT_EQ(failedSet.LogText(), "[9:5:7] OpenDevice - Ok \r\n[9:5:7] SetRibbonSensor - fail \r\n"
                                   "[9:5:7] GetRibbonSensorEx - fail \r\n");

    sim.Set("FWSIM_FAULTS", "sdk-fail:N_SaveConfigurationData:2");
    CRibbonSenseDlg failedSave(&At9h05m07s);
    failedSave.setButton->click();
    EXPECT_EQ(failedSave.LogText(), "[9:5:7] OpenDevice - Ok \r\n[9:5:7] SetRibbonSensor - success \r\n"
                                    "[9:5:7] GetRibbonSensorEx - fail \r\n");
}

TEST_F(RibbonSense, IgnoresEnterAndEscape) {
    CRibbonSenseDlg dialog(&At9h05m07s);
    dialog.show();
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        PressKey(dialog.checkButton, key);
        PressKey(dialog.exitButton, key);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.LogText(), "[9:5:7] OpenDevice - Ok \r\n");
}

}  // namespace
