// What the three service tools' dialogs have in common: the dialog font and its dialog units, the
// window icon, controls placed by dialog-unit rectangles and named by their ids, the log box,
// editable combo boxes that know when the user typed over their selection, and the filter that
// keeps Enter and Escape from closing a dialog or pressing a button.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QObject>
#include <QRect>
#include <map>
#include <string>

#include "ToolView.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// Dialog units to pixels, from the metrics of the dialog's font, as Windows maps them.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

// A log box: lines are appended at the end and the box scrolls to the bottom. Text() is what the
// box holds, each line break given back as the CR LF it was appended with.
class LogBox {
public:
    explicit LogBox(QPlainTextEdit* edit) : edit_(edit) {}
    void Append(const std::string& line);
    std::string Text() const;
    QPlainTextEdit* Widget() const { return edit_; }

private:
    QPlainTextEdit* edit_;
};

// A group box drawn as Windows draws one: the frame's top edge runs through the middle of the
// title, so every control placed within the template's rectangle lies inside the frame.
class WindowsGroupBox : public QGroupBox {
public:
    explicit WindowsGroupBox(const QString& title) : QGroupBox(title) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A disabled edit that shows a result: not editable, not in the tab order, and its text as
// readable as Windows' disabled edits (dark grey on the dialog's face, over 4.5 : 1).
void MakeResultField(QLineEdit* edit);

// An editable drop-down list whose selection counts as none (-1) once the user types over it.
class ComboSelection : public QObject {
public:
    explicit ComboSelection(QComboBox* combo);
    int Index() const;

private:
    QComboBox* combo_;
    bool typedOver_ = false;
};

// A tool's Qt dialog, and the view its sequences drive: controls are found by their ids, the log
// box is the dialog's one multi-line edit.
class ToolDialog : public QDialog, public ToolView {
public:
    // Caption, and client size in dialog units.
    ToolDialog(const char* caption, int widthUnits, int heightUnits);

    void SetText(int id, const std::string& text) override;
    void AddItem(int id, const std::string& text) override;
    void Select(int id, int index) override;
    int Selection(int id) const override;
    void AppendLog(const std::string& line) override;

    const DialogUnits& Units() const { return units_; }
    // Places a child at a dialog-unit rectangle and names it by its id (0 for none).
    void Place(QWidget* widget, int id, int x, int y, int width, int height);
    // Makes a placed editable combo box's selection count as none once the user types over it.
    void TrackSelection(QComboBox* combo, int id);

protected:
    // Makes Enter and Escape do nothing in this dialog, whichever of its controls has the focus.
    void SwallowEnterAndEscape();

private:
    DialogUnits units_;
    std::map<int, ComboSelection*> selections_;
};

