// The ribbon capacity dialog: template 102, its start-up and Setting sequences.
#include "CRibbonCapDlg.h"

#include <QKeyEvent>
#include <cstring>

namespace {

enum ControlId { kCapacity = 1000, kCombo = 1001, kSetting = 1002, kExit = 1003, kStatus = 1004, kSerial = 1005 };

constexpr std::int32_t kDirectChannel = 5;
std::uint8_t kCapacityQuery[] = {0x1B, 0x21, 0x56, 0x20, 0x33, 0x37, 0x0D};
constexpr std::uint8_t kGeneral = '0';
constexpr std::uint8_t kLarge = '1';

QLabel* StaticText(const char* text) { return new QLabel(QString::fromLatin1(text)); }

}  // namespace

CRibbonCapDlg::CRibbonCapDlg() : ToolDialog("ribboncap", 187, 145) {
    capacityField = new QLineEdit;
    capacityCombo = new QComboBox;
    settingButton = new QPushButton(QStringLiteral("Setting"));
    exitButton = new QPushButton(QStringLiteral("Exit"));
    statusLine = new QLabel;
    serialField = new QLineEdit;
    Place(capacityField, kCapacity, 99, 34, 66, 18);
    Place(StaticText("Get Ribbon Capacity :"), 0, 17, 39, 78, 14);
    Place(capacityCombo, kCombo, 100, 65, 67, 56);
    Place(StaticText("Set Ribbon Capacity :"), 0, 17, 64, 78, 14);
    Place(settingButton, kSetting, 25, 90, 57, 20);
    Place(exitButton, kExit, 100, 90, 57, 20);
    Place(statusLine, kStatus, 24, 116, 146, 16);
    Place(StaticText("Printer Serial Number :"), 0, 17, 14, 78, 12);
    Place(serialField, kSerial, 99, 9, 66, 14);
    MakeResultField(capacityField);
    MakeResultField(serialField);
    // The template has no default push button: none is drawn as one.
    for (QPushButton* button : {settingButton, exitButton}) button->setAutoDefault(false);
    statusLine->setFrameStyle(QFrame::Box | QFrame::Plain);
    capacityCombo->setEditable(true);
    capacityCombo->setInsertPolicy(QComboBox::NoInsert);
    capacityCombo->resize(capacityCombo->width(), capacityCombo->sizeHint().height());
    selection_ = new ComboSelection(capacityCombo);
    connect(settingButton, &QPushButton::clicked, this, [this] { OnSetting(); });
    connect(exitButton, &QPushButton::clicked, this, [this] { accept(); });

    // Start-up sequence.
    m_sdk.GetProduction(m_production[0], m_production[1], m_production[2]);
    // The library may fill all 20 bytes without a terminator: never read past them.
    serialField->setText(QString::fromLocal8Bit(m_production[2], static_cast<int>(strnlen(m_production[2], 20))));
    capacityCombo->insertItem(0, QStringLiteral("1 : General"));
    capacityCombo->insertItem(1, QStringLiteral("2 : Large"));
    capacityCombo->setCurrentIndex(0);
    const std::int32_t result = QueryCapacity();
    statusLine->setText(result != 0 ? QStringLiteral("Load Fail. Check CardPrinter") : QStringLiteral("Open - Success"));
    ShowCapacity();
}

std::int32_t CRibbonCapDlg::QueryCapacity() {
    std::memset(m_reply, 0, sizeof m_reply);
    m_sdk.DeviceDirectSend2(kCapacityQuery, sizeof kCapacityQuery, kDirectChannel, 1);
    return m_sdk.DeviceDirectGet2(m_reply, &m_replyLength);
}

void CRibbonCapDlg::ShowCapacity() {
    if (m_reply[0] == kGeneral) capacityField->setText(QStringLiteral("General"));
    if (m_reply[0] == kLarge) capacityField->setText(QStringLiteral("Large"));
}

void CRibbonCapDlg::OnSetting() {
    const int selected = selection_->Index();
    // Without a selection the command would carry the code 0x00: send nothing.
    if (selected < 0) {
        statusLine->setText(QStringLiteral("Setting - Fail"));
        return;
    }
    std::uint8_t setCommand[] = {0x1B, 0x2B, 0x4D, 0x56, 0x53, 0x20, static_cast<std::uint8_t>(kGeneral + selected), 0x0D};
    m_sdk.DeviceDirectSend2(setCommand, sizeof setCommand, kDirectChannel, 0);
    if (QueryCapacity() != 0) {
        statusLine->setText(QStringLiteral("Setting - Fail"));
        return;
    }
    ShowCapacity();
    statusLine->setText(QStringLiteral("Setting - Success"));
}

void CRibbonCapDlg::keyPressEvent(QKeyEvent* event) {
    // As on Windows without a default button: Enter presses the focused push button, elsewhere
    // it is the dialog's accept action. Escape cancels.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    ToolDialog::keyPressEvent(event);
}
