// The sensor position dialog in Qt: template 102, a view of the tool's sequences.
#include "CSensorPosDlg.h"

#include <QPlainTextEdit>

CSensorPosDlg::CSensorPosDlg() : ToolDialog("sensorpos", 151, 217), log_(new QPlainTextEdit), tool_(*this) {
    group = new WindowsGroupBox(QStringLiteral("Sensor Position"));
    getButton = new QPushButton(QStringLiteral("Get"));
    setButton = new QPushButton(QStringLiteral("Set"));
    positionField = new QLineEdit;
    positionCombo = new QComboBox;
    // Template order is tab order: Get, Set, the group, the field, the log, the list.
    Place(getButton, sensorpos::kGet, 27, 22, 32, 22);
    Place(setButton, sensorpos::kSet, 27, 51, 32, 22);
    Place(group, 0, 15, 10, 116, 84);
    Place(positionField, sensorpos::kPosition, 76, 24, 45, 18);
    Place(log_.Widget(), sensorpos::kLog, 16, 109, 115, 96);
    Place(positionCombo, sensorpos::kCombo, 76, 55, 46, 57);
    group->lower();
    MakeResultField(positionField);
    log_.Widget()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    positionCombo->setEditable(true);
    positionCombo->setInsertPolicy(QComboBox::NoInsert);
    positionCombo->resize(positionCombo->width(), positionCombo->sizeHint().height());
    TrackSelection(positionCombo, sensorpos::kCombo);
    for (QPushButton* button : {getButton, setButton}) button->setAutoDefault(false);
    SwallowEnterAndEscape();
    tool_.Init();
    connect(getButton, &QPushButton::clicked, this, [this] { OnGet(); });
    connect(setButton, &QPushButton::clicked, this, [this] { OnSet(); });
}
