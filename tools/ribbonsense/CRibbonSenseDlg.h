// ribbonsense: checks the ribbon sensor over up to 100 readings against the window 530..580, and
// sets the sensor and saves the printer's configuration, logging each step with the time of day.
#pragma once

#include <QPushButton>
#include <ctime>
#include <functional>

#include "CSdkLibrary.h"
#include "ToolDialog.h"

class CRibbonSenseDlg : public ToolDialog {
public:
    // The clock gives the time of each log line (seconds since 1970); the default is the system's.
    explicit CRibbonSenseDlg(std::function<std::time_t()> clock = nullptr);

    // "Check Ribbon Sensor" (1000) and "Set Ribbon Sensor" (1002).
    void OnCheck();
    void OnSet();

    // Appends "[h:m:s] <message> \r\n" with the local time to the log box (1001).
    void AppendLog(const char* message);
    std::string LogText() const { return log_.Text(); }

    QPushButton* checkButton;  // 1000
    QPushButton* setButton;    // 1002
    QPushButton* exitButton;   // 1003

private:
    // Opens the printer and logs how that went.
    void OpenPrinter();
    // Every sequence ends by closing the printer; the next one opens it again first.
    void StartSequence();
    void EndSequence();

    LogBox log_;
    CSdkLibrary m_sdk;
    std::function<std::time_t()> clock_;
    char m_line[1024] = {};
    std::time_t m_time = 0;
    std::int32_t m_hour = 0;
    std::int32_t m_minute = 0;
    std::int32_t m_second = 0;
    bool closedBySequence_ = false;
};
