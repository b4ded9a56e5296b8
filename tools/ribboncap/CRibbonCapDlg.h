// ribboncap: shows the printer's serial number and its ribbon capacity (General or Large) and
// writes a new capacity, through two printer commands passed through the SDK library unchanged.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

#include "RibbonCapTool.h"
#include "ToolDialog.h"

class CRibbonCapDlg : public ToolDialog {
public:
    // Runs the start-up sequence: serial number, capacity list, capacity query.
    CRibbonCapDlg();

    // "Setting" (1002).
    void OnSetting() { tool_.OnSetting(); }

    QLineEdit* capacityField;  // 1000
    QComboBox* capacityCombo;  // 1001
    QPushButton* settingButton;  // 1002
    QPushButton* exitButton;     // 1003
    QLabel* statusLine;          // 1004
    QLineEdit* serialField;      // 1005

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ribboncap::RibbonCapTool tool_;
};
