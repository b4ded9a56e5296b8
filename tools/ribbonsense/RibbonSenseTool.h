// ribbonsense's sequences: the check over up to 100 readings against the window 530..580, and the
// set that sets the sensor and saves the printer's configuration, each step logged with the time of
// day.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <utility>

#include "CSdkLibrary.h"
#include "ToolView.h"

namespace ribbonsense {

enum ControlId { kCheck = 1000, kLog = 1001, kSet = 1002, kExit = 1003 };

class RibbonSenseTool {
public:
    // The clock gives the time of each log line (seconds since 1970); the default is the system's.
    explicit RibbonSenseTool(ToolView& view, std::function<std::time_t()> clock = nullptr);

    // Dialog initialisation: opens the printer and logs how that went.
    void Init();
    // "Check Ribbon Sensor" (1000) and "Set Ribbon Sensor" (1002).
    void OnCheck();
    void OnSet();
    // Appends "[h:m:s] <message> \r\n" with the local time to the log box.
    void AppendLog(const char* message);

private:
    void OpenPrinter();
    // Every sequence ends by closing the printer; the next one opens it again first.
    void StartSequence();
    void EndSequence();

    ToolView& view_;
    CSdkLibrary m_sdk;
    std::function<std::time_t()> clock_;
    char m_line[1024] = {};
    std::time_t m_time = 0;
    std::int32_t m_hour = 0;
    std::int32_t m_minute = 0;
    std::int32_t m_second = 0;
    bool closedBySequence_ = false;
};

}  // namespace ribbonsense
