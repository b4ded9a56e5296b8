// The dialogs' common machinery.
#include "ToolDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <qdrawutil.h>

namespace {

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);  // 8 points at 96 dots per inch
    return font;
}

int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) / denominator);
}

// Eats Enter and Escape on their way to any widget of one dialog.
class EnterEscapeFilter : public QObject {
public:
    explicit EnterEscapeFilter(QDialog* dialog) : QObject(dialog), dialog_(dialog) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != dialog_) return false;
        event->accept();
        return true;
    }

private:
    QDialog* dialog_;
};

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::X(int units) const { return MulDiv(units, baseX_, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, baseY_, 8); }
QRect DialogUnits::Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }

void LogBox::Append(const std::string& line) {
    QString shown = QString::fromLocal8Bit(line.c_str());
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor = edit_->textCursor();
    cursor.movePosition(QTextCursor::End);
    edit_->setTextCursor(cursor);
    edit_->insertPlainText(shown);
    edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
}

std::string LogBox::Text() const {
    QString text = edit_->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toLocal8Bit().toStdString();
}

void WindowsGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched line, as Windows draws it; the style's group-box frame would add its own margin.
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true, 1, 0);
    // The title sits on the frame line, on the dialog's face, a character's width in.
    const int inset = metrics.averageCharWidth();
    const QRect titleRect(inset, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(titleRect, palette().window());
    style()->drawItemText(&painter, titleRect, Qt::AlignCenter, palette(), isEnabled(), title(), QPalette::WindowText);
}

void MakeResultField(QLineEdit* edit) {
    edit->setEnabled(false);
    edit->setFocusPolicy(Qt::NoFocus);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x60, 0x60, 0x60));
    palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
    edit->setPalette(palette);
}

ComboSelection::ComboSelection(QComboBox* combo) : QObject(combo), combo_(combo) {
    connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this] { typedOver_ = true; });
    connect(combo, qOverload<int>(&QComboBox::activated), this, [this] { typedOver_ = false; });
    connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { typedOver_ = false; });
}

int ComboSelection::Index() const { return typedOver_ ? -1 : combo_->currentIndex(); }

ToolDialog::ToolDialog(const char* caption, int widthUnits, int heightUnits)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      units_(DialogFont()) {
    setFont(DialogFont());
    setWindowTitle(QString::fromLatin1(caption));
    setWindowIcon(QIcon(QStringLiteral(":/tools/icon128.png")));
    setFixedSize(units_.X(widthUnits), units_.Y(heightUnits));
}

void ToolDialog::Place(QWidget* widget, int id, int x, int y, int width, int height) {
    widget->setParent(this);
    if (id != 0) widget->setObjectName(QString::number(id));
    widget->setGeometry(units_.Rect(x, y, width, height));
}

void ToolDialog::SetText(int id, const std::string& text) {
    const QString shown = QString::fromLocal8Bit(text.c_str());
    QWidget* control = findChild<QWidget*>(QString::number(id));
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(shown);
    if (auto* label = qobject_cast<QLabel*>(control)) label->setText(shown);
}

void ToolDialog::AddItem(int id, const std::string& text) {
    auto* combo = findChild<QComboBox*>(QString::number(id));
    combo->insertItem(combo->count(), QString::fromLocal8Bit(text.c_str()));
}

void ToolDialog::Select(int id, int index) { findChild<QComboBox*>(QString::number(id))->setCurrentIndex(index); }

void ToolDialog::TrackSelection(QComboBox* combo, int id) { selections_[id] = new ComboSelection(combo); }

int ToolDialog::Selection(int id) const {
    const auto it = selections_.find(id);
    return it != selections_.end() ? it->second->Index() : findChild<QComboBox*>(QString::number(id))->currentIndex();
}

void ToolDialog::AppendLog(const std::string& line) { LogBox(findChild<QPlainTextEdit*>()).Append(line); }

void ToolDialog::SwallowEnterAndEscape() { qApp->installEventFilter(new EnterEscapeFilter(this)); }
