// sensorpos: reads and sets the printer's sensor position, OLD (0) or NEW (1), opening and closing
// the printer around each button's work and logging every step.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "SensorPosTool.h"
#include "ToolDialog.h"

class CSensorPosDlg : public ToolDialog {
public:
    CSensorPosDlg();

    // "Get" (1000) and "Set" (1001).
    void OnGet() { tool_.OnGet(); }
    void OnSet() { tool_.OnSet(); }

    // Appends "<message> \r\n" to the log box (1007) and scrolls it to the bottom.
    void AppendLog(const char* message) { tool_.AppendLog(message); }
    std::string LogText() const { return log_.Text(); }

    WindowsGroupBox* group;    // "Sensor Position"
    QPushButton* getButton;    // 1000
    QPushButton* setButton;    // 1001
    QLineEdit* positionField;  // 1002
    QComboBox* positionCombo;  // 1008

private:
    LogBox log_;
    sensorpos::SensorPosTool tool_;
};
