// The ribbon capacity dialog in Qt: template 102, a view of the tool's sequences.
#include "CRibbonCapDlg.h"

#include <QKeyEvent>

namespace {

QLabel* StaticText(const char* text) { return new QLabel(QString::fromLatin1(text)); }

}  // namespace

CRibbonCapDlg::CRibbonCapDlg() : ToolDialog("ribboncap", 187, 145), tool_(*this) {
    capacityField = new QLineEdit;
    capacityCombo = new QComboBox;
    settingButton = new QPushButton(QStringLiteral("Setting"));
    exitButton = new QPushButton(QStringLiteral("Exit"));
    statusLine = new QLabel;
    serialField = new QLineEdit;
    Place(capacityField, ribboncap::kCapacity, 99, 34, 66, 18);
    Place(StaticText("Get Ribbon Capacity :"), 0, 17, 39, 78, 14);
    Place(capacityCombo, ribboncap::kCombo, 100, 65, 67, 56);
    Place(StaticText("Set Ribbon Capacity :"), 0, 17, 64, 78, 14);
    Place(settingButton, ribboncap::kSetting, 25, 90, 57, 20);
    Place(exitButton, ribboncap::kExit, 100, 90, 57, 20);
    Place(statusLine, ribboncap::kStatus, 24, 116, 146, 16);
    Place(StaticText("Printer Serial Number :"), 0, 17, 14, 78, 12);
    Place(serialField, ribboncap::kSerial, 99, 9, 66, 14);
    MakeResultField(capacityField);
    MakeResultField(serialField);
    // The template has no default push button: none is drawn as one.
    for (QPushButton* button : {settingButton, exitButton}) button->setAutoDefault(false);
    statusLine->setFrameStyle(QFrame::Box | QFrame::Plain);
    capacityCombo->setEditable(true);
    capacityCombo->setInsertPolicy(QComboBox::NoInsert);
    capacityCombo->resize(capacityCombo->width(), capacityCombo->sizeHint().height());
    TrackSelection(capacityCombo, ribboncap::kCombo);
    connect(settingButton, &QPushButton::clicked, this, [this] { OnSetting(); });
    connect(exitButton, &QPushButton::clicked, this, [this] { accept(); });

    tool_.Init();
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
