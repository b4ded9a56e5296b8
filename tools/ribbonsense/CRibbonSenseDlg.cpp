// The ribbon sensor dialog in Qt: template 102, a view of the tool's sequences.
#include "CRibbonSenseDlg.h"

#include <QPlainTextEdit>
#include <utility>

CRibbonSenseDlg::CRibbonSenseDlg(std::function<std::time_t()> clock)
    : ToolDialog("ribbonsense", 179, 244), log_(new QPlainTextEdit), tool_(*this, std::move(clock)) {
    checkButton = new QPushButton(QStringLiteral("Check Ribbon Sensor"));
    setButton = new QPushButton(QStringLiteral("Set Ribbon Sensor"));
    exitButton = new QPushButton(QStringLiteral("EXIT"));
    Place(checkButton, ribbonsense::kCheck, 8, 18, 83, 26);
    Place(log_.Widget(), ribbonsense::kLog, 7, 90, 165, 147);
    Place(setButton, ribbonsense::kSet, 8, 55, 83, 26);
    Place(exitButton, ribbonsense::kExit, 125, 19, 47, 26);
    log_.Widget()->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_.Widget()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log_.Widget()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (QPushButton* button : {checkButton, setButton, exitButton}) button->setAutoDefault(false);
    SwallowEnterAndEscape();
    connect(checkButton, &QPushButton::clicked, this, [this] { OnCheck(); });
    connect(setButton, &QPushButton::clicked, this, [this] { OnSet(); });
    connect(exitButton, &QPushButton::clicked, this, [this] { accept(); });

    tool_.Init();
}

