// fwload: the firmware download program.
#include <QApplication>

#include "Main.h"
#include "QtDisplay.h"
#include "QtMessageBox.h"

int main(int argc, char* argv[]) {
    if (const std::optional<int> code =
            CheckGuiStart("fwload",
                          "Opens the window in which a firmware image is downloaded into a USB card printer: pick\n"
                          "the model and the firmware file, press Download, and follow every stage in the status\n"
                          "line. fwload-cli does the same download from a terminal.",
                          "fwload-cli does the same download in a terminal", argc, argv)) {
        return *code;
    }
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    TFrmMain window;
    window.show();
    return application.exec();
}
