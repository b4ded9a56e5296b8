// ribboncap: shows the printer's serial number and its ribbon capacity (General or Large) and
// writes a new capacity, through two printer commands passed through the SDK library unchanged.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

#include "CSdkLibrary.h"
#include "ToolDialog.h"

class CRibbonCapDlg : public ToolDialog {
public:
    // Runs the start-up sequence: serial number, capacity list, capacity query.
    CRibbonCapDlg();

    // "Setting" (1002).
    void OnSetting();

    QLineEdit* capacityField;  // 1000
    QComboBox* capacityCombo;  // 1001
    QPushButton* settingButton;  // 1002
    QPushButton* exitButton;     // 1003
    QLabel* statusLine;          // 1004
    QLineEdit* serialField;      // 1005

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Queries the capacity; returns DeviceDirectGet2's result, the reply in m_reply.
    std::int32_t QueryCapacity();
    // Shows the capacity code of the reply's first byte; another byte leaves the field.
    void ShowCapacity();

    CSdkLibrary m_sdk;
    ComboSelection* selection_;
    std::uint8_t m_reply[10] = {};
    std::int32_t m_replyLength = 0;
    char m_production[3][20] = {};
};
