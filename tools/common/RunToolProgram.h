// The service tools' program start.
#pragma once

#include <QApplication>

#include "QtMessageBox.h"

// Creates the application, runs the dialog modally as the main window and destroys it when it
// ends, which frees its SDK library.
template <typename Dialog>
int RunToolProgram(int argc, char* argv[]) {
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    Dialog dialog;
    dialog.exec();
    return 0;
}
