// The service tools' program start.
#pragma once

#include <QApplication>

#include "QtDisplay.h"
#include "QtMessageBox.h"

// Creates the application, runs the dialog modally as the main window and destroys it when it
// ends, which frees its SDK library. --version and --help, or no display, end it before.
template <typename Dialog>
int RunToolProgram(const char* program, const char* description, int argc, char* argv[]) {
    if (const std::optional<int> code = CheckGuiStart(program, description, nullptr, argc, argv)) return *code;
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    Dialog dialog;
    dialog.exec();
    return 0;
}
