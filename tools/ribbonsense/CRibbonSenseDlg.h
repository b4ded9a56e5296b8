// ribbonsense: checks the ribbon sensor over up to 100 readings against the window 530..580, and
// sets the sensor and saves the printer's configuration, logging each step with the time of day.
#pragma once

#include <QPushButton>
#include <ctime>
#include <functional>

#include "RibbonSenseTool.h"
#include "ToolDialog.h"

class CRibbonSenseDlg : public ToolDialog {
public:
    // The clock gives the time of each log line (seconds since 1970); the default is the system's.
    explicit CRibbonSenseDlg(std::function<std::time_t()> clock = nullptr);

    // "Check Ribbon Sensor" (1000) and "Set Ribbon Sensor" (1002).
    void OnCheck() { tool_.OnCheck(); }
    void OnSet() { tool_.OnSet(); }

    // Appends "[h:m:s] <message> \r\n" with the local time to the log box (1001).
    void AppendLog(const char* message) { tool_.AppendLog(message); }
    std::string LogText() const { return log_.Text(); }

    QPushButton* checkButton;  // 1000
    QPushButton* setButton;    // 1002
    QPushButton* exitButton;   // 1003

private:
    LogBox log_;
    ribbonsense::RibbonSenseTool tool_;
};
