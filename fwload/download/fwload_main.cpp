// fwload: the firmware download program.
#include <QApplication>

#include "Main.h"
#include "QtMessageBox.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    InstallQtMessageBoxes();
    TFrmMain window;
    window.show();
    return application.exec();
}
