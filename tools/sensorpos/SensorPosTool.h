// sensorpos' sequences: Get and Set, each opening and closing the printer around its work and
// logging every step.
#pragma once

#include "CSdkLibrary.h"
#include "ToolView.h"

namespace sensorpos {

enum ControlId { kGet = 1000, kSet = 1001, kPosition = 1002, kLog = 1007, kCombo = 1008 };

class SensorPosTool {
public:
    explicit SensorPosTool(ToolView& view) : view_(view) {}

    // Dialog initialisation: the list of positions, the first selected. No SDK call.
    void Init();
    void OnGet();
    void OnSet();
    // Appends "<message> \r\n" to the log box.
    void AppendLog(const char* message);

private:
    void CloseAndLog();

    ToolView& view_;
    CSdkLibrary m_sdk;
};

}  // namespace sensorpos
