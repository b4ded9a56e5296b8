// The ribbon sensor tool's sequences.
#include "RibbonSenseTool.h"

#include <cstdio>

#include "Clock.h"

namespace ribbonsense {
namespace {

constexpr int kReadingsPerCheck = 100;
constexpr std::int32_t kLowestGoodReading = 530;
constexpr std::int32_t kHighestGoodReading = 580;
constexpr std::int32_t kSaveStepOne = '1';
constexpr std::int32_t kSaveStepTwo = '2';

}  // namespace

RibbonSenseTool::RibbonSenseTool(ToolView& view, std::function<std::time_t()> clock)
    : view_(view), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::time(nullptr); };
}

void RibbonSenseTool::Init() { OpenPrinter(); }

void RibbonSenseTool::AppendLog(const char* message) {
    m_time = clock_();
    const platform::TimeOfDay time = platform::LocalTimeOfDay(m_time);
    m_hour = time.hour;
    m_minute = time.minute;
    m_second = time.second;
    std::snprintf(m_line, sizeof m_line, "[%d:%d:%d] %s \r\n", m_hour, m_minute, m_second, message);
    view_.AppendLog(m_line);
}

void RibbonSenseTool::OpenPrinter() {
    AppendLog(m_sdk.OpenDevice("", 0) != 0 ? "OpenDevice - fail" : "OpenDevice - Ok");
}

void RibbonSenseTool::StartSequence() {
    // The previous button's work closed the printer: open it again, or nothing that follows works.
    // Without a library there is nothing to reopen, and no further box to show.
    if (closedBySequence_ && m_sdk.IsLoaded()) OpenPrinter();
    closedBySequence_ = false;
}

void RibbonSenseTool::EndSequence() {
    m_sdk.CloseDevice(0);
    closedBySequence_ = true;
}

void RibbonSenseTool::OnCheck() {
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

void RibbonSenseTool::OnSet() {
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

}  // namespace ribbonsense
