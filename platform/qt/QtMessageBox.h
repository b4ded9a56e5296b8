// Shows the message-box port's boxes as Qt message boxes (GUI programs only).
#pragma once

#include <QString>

#include "MessageBox.h"

// Makes every ShowMessageBox a modal QMessageBox with an OK button.
void InstallQtMessageBoxes();

// The program's text for a Qt label: each CR LF, CR or LF becomes one line break.
QString MessageTextForQt(const std::string& text);
