// Qt message boxes for the message-box port.
#include "QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon IconOf(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Error: return QMessageBox::Critical;
        case platform::MessageIcon::Exclamation: return QMessageBox::Warning;
        case platform::MessageIcon::None: return QMessageBox::NoIcon;
        case platform::MessageIcon::Information: break;
    }
    return QMessageBox::Information;
}

void ShowQtMessageBox(const platform::MessageBoxRequest& request) {
    QWidget* owner = request.ownerless ? nullptr : QApplication::activeWindow();
    QMessageBox box(IconOf(request.icon), QString::fromLocal8Bit(request.caption.c_str()),
                    MessageTextForQt(request.text), QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    if (request.topMost) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

}  // namespace

QString MessageTextForQt(const std::string& text) {
    QString converted = QString::fromLocal8Bit(text.c_str());
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    converted.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return converted;
}

void InstallQtMessageBoxes() { platform::SetMessageBoxHandler(&ShowQtMessageBox); }
