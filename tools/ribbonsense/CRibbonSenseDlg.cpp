// The ribbon sensor dialog: template 102, its check and set sequences.
#include "CRibbonSenseDlg.h"

#include <QPlainTextEdit>
#include <cstdio>

#include "Clock.h"

namespace {

enum ControlId { kCheck = 1000, kLog = 1001, kSet = 1002, kExit = 1003 };

constexpr int kReadingsPerCheck = 100;
constexpr std::int32_t kLowestGoodReading = 530;
constexpr std::int32_t kHighestGoodReading = 580;
constexpr std::int32_t kSaveStepOne = '1';
constexpr std::int32_t kSaveStepTwo = '2';

}  // namespace

CRibbonSenseDlg::CRibbonSenseDlg(std::function<std::time_t()> clock)
    : ToolDialog("ribbonsense", 179, 244), log_(new QPlainTextEdit), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::time(nullptr); };
    checkButton = new QPushButton(QStringLiteral("Check Ribbon Sensor"));
    setButton = new QPushButton(QStringLiteral("Set Ribbon Sensor"));
    exitButton = new QPushButton(QStringLiteral("EXIT"));
    Place(checkButton, kCheck, 8, 18, 83, 26);
    Place(log_.Widget(), kLog, 7, 90, 165, 147);
    Place(setButton, kSet, 8, 55, 83, 26);
    Place(exitButton, kExit, 125, 19, 47, 26);
    log_.Widget()->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_.Widget()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log_.Widget()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (QPushButton* button : {checkButton, setButton, exitButton}) button->setAutoDefault(false);
    SwallowEnterAndEscape();
    connect(checkButton, &QPushButton::clicked, this, [this] { OnCheck(); });
    connect(setButton, &QPushButton::clicked, this, [this] { OnSet(); });
    connect(exitButton, &QPushButton::clicked, this, [this] { accept(); });

    // Dialog initialisation.
    OpenPrinter();
}

void CRibbonSenseDlg::AppendLog(const char* message) {
    m_time = clock_();
    const platform::TimeOfDay time = platform::LocalTimeOfDay(m_time);
    m_hour = time.hour;
    m_minute = time.minute;
    m_second = time.second;
    std::snprintf(m_line, sizeof m_line, "[%d:%d:%d] %s \r\n", m_hour, m_minute, m_second, message);
    log_.Append(m_line);
}

void CRibbonSenseDlg::OpenPrinter() {
    AppendLog(m_sdk.OpenDevice("", 0) != 0 ? "OpenDevice - fail" : "OpenDevice - Ok");
}

void CRibbonSenseDlg::StartSequence() {
    // The previous button's work closed the printer: open it again, or nothing that follows works.
    // Without a library there is nothing to reopen, and no further box to show.
    if (closedBySequence_ && m_sdk.IsLoaded()) OpenPrinter();
    closedBySequence_ = false;
}

void CRibbonSenseDlg::EndSequence() {
    m_sdk.CloseDevice(0);
    closedBySequence_ = true;
}

void CRibbonSenseDlg::OnCheck() {
    StartSequence();
    char text[1024] = {};
    std::int32_t first = 0;
    std::int32_t second = 0;
    for (int reading = 1;; ++reading) {
        // A reading the library could not take is a failure, not a stale value to judge.
        const bool read = m_sdk.GetRibbonSensorEx(&first, &second) == 0;
        if (!read || first < kLowestGoodReading || first > kHighestGoodReading) {
            AppendLog("GetRibbonSensorEx - fail");
            std::snprintf(text, sizeof text, "[%d/100]Ribbon Sensor [%d][%d]", reading, first, second);
            break;
        }
        if (reading == kReadingsPerCheck) {
            AppendLog("GetRibbonSensorEx - success");
            std::snprintf(text, sizeof text, "[%d/100]Ribbon Sensor [%d][%d]", kReadingsPerCheck, first, second);
            break;
        }
    }
    AppendLog(text);
    EndSequence();
}

void CRibbonSenseDlg::OnSet() {
    StartSequence();
    char text[1024] = {};
    std::int32_t first = 0;
    std::int32_t second = 0;
    if (m_sdk.SetRibbonSensor() != 0) {
        AppendLog("SetRibbonSensor - fail");
        AppendLog("GetRibbonSensorEx - fail");
    } else {
        AppendLog("SetRibbonSensor - success");
        if (m_sdk.N_SaveConfigurationData(kSaveStepOne) != 0 || m_sdk.N_SaveConfigurationData(kSaveStepTwo) != 0) {
            AppendLog("GetRibbonSensorEx - fail");
        } else if (m_sdk.GetRibbonSensorEx(&first, &second) != 0) {
            AppendLog("GetRibbonSensorEx - fail");
        } else {
            AppendLog("GetRibbonSensorEx - success");
            std::snprintf(text, sizeof text, "Ribbon Sensor [%d][%d]", first, second);
            AppendLog(text);
        }
    }
    EndSequence();
}
