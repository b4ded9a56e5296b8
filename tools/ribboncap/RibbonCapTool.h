// ribboncap's sequences: start-up (serial number, capacity list, capacity query) and Setting, through
// two printer commands passed through the SDK library unchanged.
#pragma once

#include <cstdint>

#include "CSdkLibrary.h"
#include "ToolView.h"

namespace ribboncap {

enum ControlId { kCapacity = 1000, kCombo = 1001, kSetting = 1002, kExit = 1003, kStatus = 1004, kSerial = 1005 };

class RibbonCapTool {
public:
    explicit RibbonCapTool(ToolView& view) : view_(view) {}

    // The start-up sequence, run at dialog initialisation.
    void Init();
    // "Setting" (1002).
    void OnSetting();

private:
    // Queries the capacity; returns DeviceDirectGet2's result, the reply in m_reply.
    std::int32_t QueryCapacity();
    // Shows the capacity code of the reply's first byte; another byte leaves the field.
    void ShowCapacity();

    ToolView& view_;
    CSdkLibrary m_sdk;
    std::uint8_t m_reply[10] = {};
    std::int32_t m_replyLength = 0;
    char m_production[3][20] = {};
};

}  // namespace ribboncap
