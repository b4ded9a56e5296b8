// fwload: the firmware download program.
#include <QApplication>

#include "Main.h"
#include "QtDisplay.h"
#include "QtMessageBox.h"

int main(int argc, char* argv[]) {
    if (const std::optional<int> code =
            CheckGuiStart("fwload", "fwload-cli does the same download in a terminal", argc, argv)) {
        return *code;
    }
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    TFrmMain window;
    window.show();
    return application.exec();
}
