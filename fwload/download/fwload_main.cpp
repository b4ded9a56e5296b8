// fwload: the firmware download program.
#include <QApplication>

#include "Main.h"
#include "QtDisplay.h"
#include "QtMessageBox.h"

int main(int argc, char* argv[]) {
    if (ReportMissingDisplay("fwload", "fwload-cli does the same download in a terminal")) return 1;
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    TFrmMain window;
    window.show();
    return application.exec();
}
