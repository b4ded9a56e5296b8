// The service tools' program start.
#pragma once

#include <QApplication>

#include "QtDisplay.h"
#include "QtMessageBox.h"

// Creates the application, runs the dialog modally as the main window and destroys it when it
// ends, which frees its SDK library. Without a display: one line on stderr and exit 1.
template <typename Dialog>
int RunToolProgram(const char* program, int argc, char* argv[]) {
    if (ReportMissingDisplay(program)) return 1;
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    Dialog dialog;
    dialog.exec();
    return 0;
}
