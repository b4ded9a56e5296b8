// The sensor position dialog: template 102, its Get and Set sequences.
#include "CSensorPosDlg.h"

#include <QPlainTextEdit>
#include <cstdio>

namespace {

enum ControlId { kGet = 1000, kSet = 1001, kPosition = 1002, kLog = 1007, kCombo = 1008 };

}  // namespace

CSensorPosDlg::CSensorPosDlg() : ToolDialog("sensorpos", 151, 217), log_(new QPlainTextEdit) {
    group = new WindowsGroupBox(QStringLiteral("Sensor Position"));
    getButton = new QPushButton(QStringLiteral("Get"));
    setButton = new QPushButton(QStringLiteral("Set"));
    positionField = new QLineEdit;
    positionCombo = new QComboBox;
    // Template order is tab order: Get, Set, the group, the field, the log, the list.
    Place(getButton, kGet, 27, 22, 32, 22);
    Place(setButton, kSet, 27, 51, 32, 22);
    Place(group, 0, 15, 10, 116, 84);
    Place(positionField, kPosition, 76, 24, 45, 18);
    Place(log_.Widget(), kLog, 16, 109, 115, 96);
    Place(positionCombo, kCombo, 76, 55, 46, 57);
    group->lower();
    MakeResultField(positionField);
    log_.Widget()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    positionCombo->setEditable(true);
    positionCombo->setInsertPolicy(QComboBox::NoInsert);
    positionCombo->resize(positionCombo->width(), positionCombo->sizeHint().height());
    selection_ = new ComboSelection(positionCombo);
    for (QPushButton* button : {getButton, setButton}) button->setAutoDefault(false);
    SwallowEnterAndEscape();

    // Dialog initialisation: no SDK call.
    positionCombo->insertItem(0, QStringLiteral("0 : OLD"));
    positionCombo->insertItem(1, QStringLiteral("1 : NEW"));
    positionCombo->setCurrentIndex(0);

    connect(getButton, &QPushButton::clicked, this, [this] { OnGet(); });
    connect(setButton, &QPushButton::clicked, this, [this] { OnSet(); });
}

void CSensorPosDlg::AppendLog(const char* message) {
    char line[256] = {};
    std::snprintf(line, sizeof line, "%s \r\n", message);
    log_.Append(line);
}

void CSensorPosDlg::CloseAndLog() {
    // A failing close is reported as such, not as success.
    AppendLog(m_sdk.CloseDevice(0) == 0 ? "CloseDeivce - OK" : "CloseDeivce - NG");
}

void CSensorPosDlg::OnGet() {
    std::int32_t value = 0;
    std::int32_t result = m_sdk.OpenDevice("", 0);
    if (result == 0) {
        AppendLog("OpenDevice - OK");
        result = m_sdk.GetSensorPos(&value);
    }
    if (result == 0) {
        AppendLog("GetSensor - OK");
        if (value == 0) positionField->setText(QStringLiteral("OLD"));
        if (value == 1) positionField->setText(QStringLiteral("NEW"));
    } else {
        AppendLog("GetSensor - NG");
    }
    CloseAndLog();
}

void CSensorPosDlg::OnSet() {
    const int selected = selection_->Index();
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
