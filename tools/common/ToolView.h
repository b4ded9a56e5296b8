// What a service tool's sequences see of their dialog: controls named by their template ids, a
// combo box's list and selection, and the log box. The Qt and the Win32 dialogs are such views; the
// sequences behind the buttons are written once, against this.
#pragma once

#include <string>

class ToolView {
public:
    virtual ~ToolView() = default;

    // Sets the text of an edit or a static text.
    virtual void SetText(int id, const std::string& text) = 0;
    // Appends an item to a combo box's list, and selects one by index.
    virtual void AddItem(int id, const std::string& text) = 0;
    virtual void Select(int id, int index) = 0;
    // The combo box's selected index: -1 when none is, or when the user has typed over it.
    virtual int Selection(int id) const = 0;
    // Appends a whole line (its CR LF included) at the end of the log box and scrolls to it.
    virtual void AppendLog(const std::string& line) = 0;
};
