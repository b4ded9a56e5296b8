// The sensor position tool's sequences.
#include "SensorPosTool.h"

#include <cstdio>

namespace sensorpos {

void SensorPosTool::Init() {
    view_.AddItem(kCombo, "0 : OLD");
    view_.AddItem(kCombo, "1 : NEW");
    view_.Select(kCombo, 0);
}

void SensorPosTool::AppendLog(const char* message) {
    char line[256] = {};
    std::snprintf(line, sizeof line, "%s \r\n", message);
    view_.AppendLog(line);
}

void SensorPosTool::CloseAndLog() {
    // A failing close is reported as such, not as success.
    AppendLog(m_sdk.CloseDevice(0) == 0 ? "CloseDeivce - OK" : "CloseDeivce - NG");
}

void SensorPosTool::OnGet() {
    std::int32_t value = 0;
    std::int32_t result = m_sdk.OpenDevice("", 0);
    if (result == 0) {
        AppendLog("OpenDevice - OK");
        result = m_sdk.GetSensorPos(&value);
    }
    if (result == 0) {
        AppendLog("GetSensor - OK");
        if (value == 0) view_.SetText(kPosition, "OLD");
        if (value == 1) view_.SetText(kPosition, "NEW");
    } else {
        AppendLog("GetSensor - NG");
    }
    CloseAndLog();
}

void SensorPosTool::OnSet() {
    const int selected = view_.Selection(kCombo);
    if (m_sdk.OpenDevice("", 0) == 0) {
        AppendLog("OpenDevice - OK");
        // Without a valid selection there is nothing to write into the printer's settings.
        const bool written = selected >= 0 && m_sdk.SetSensorPos(selected) == 0;
        AppendLog(written ? "SetSensor - OK" : "SetSensor - NG");
    } else {
        AppendLog("SetSensor - NG");
    }
    CloseAndLog();
}

}  // namespace sensorpos
