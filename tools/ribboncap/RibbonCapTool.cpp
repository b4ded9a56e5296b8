// The ribbon capacity tool's sequences.
#include "RibbonCapTool.h"

#include <cstring>
#include <string>

namespace ribboncap {
namespace {

constexpr std::int32_t kDirectChannel = 5;
std::uint8_t kCapacityQuery[] = {0x1B, 0x21, 0x56, 0x20, 0x33, 0x37, 0x0D};
constexpr std::uint8_t kGeneral = '0';
constexpr std::uint8_t kLarge = '1';

}  // namespace

void RibbonCapTool::Init() {
    m_sdk.GetProduction(m_production[0], m_production[1], m_production[2]);
    // The library may fill all 20 bytes without a terminator: never read past them.
    view_.SetText(kSerial, std::string(m_production[2], strnlen(m_production[2], sizeof m_production[2])));
    view_.AddItem(kCombo, "1 : General");
    view_.AddItem(kCombo, "2 : Large");
    view_.Select(kCombo, 0);
    const std::int32_t result = QueryCapacity();
    view_.SetText(kStatus, result != 0 ? "Load Fail. Check CardPrinter" : "Open - Success");
    ShowCapacity();
}

std::int32_t RibbonCapTool::QueryCapacity() {
    std::memset(m_reply, 0, sizeof m_reply);
    m_sdk.DeviceDirectSend2(kCapacityQuery, sizeof kCapacityQuery, kDirectChannel, 1);
    return m_sdk.DeviceDirectGet2(m_reply, &m_replyLength);
}

void RibbonCapTool::ShowCapacity() {
    if (m_reply[0] == kGeneral) view_.SetText(kCapacity, "General");
    if (m_reply[0] == kLarge) view_.SetText(kCapacity, "Large");
}

void RibbonCapTool::OnSetting() {
    const int selected = view_.Selection(kCombo);
    // Without a selection the command would carry the code 0x00: send nothing.
    if (selected < 0) {
        view_.SetText(kStatus, "Setting - Fail");
        return;
    }
    std::uint8_t setCommand[] = {0x1B, 0x2B, 0x4D, 0x56, 0x53, 0x20, static_cast<std::uint8_t>(kGeneral + selected), 0x0D};
    m_sdk.DeviceDirectSend2(setCommand, sizeof setCommand, kDirectChannel, 0);
    if (QueryCapacity() != 0) {
        view_.SetText(kStatus, "Setting - Fail");
        return;
    }
    ShowCapacity();
    view_.SetText(kStatus, "Setting - Success");
}

}  // namespace ribboncap
