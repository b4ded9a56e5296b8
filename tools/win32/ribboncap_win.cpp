// ribboncap for Windows: its dialog template 102, run modally.
#include "Win32Tools.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RibbonCapWin32Dialog dialog;
    return RunWin32Tool(dialog, instance);
}
