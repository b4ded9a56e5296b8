// ribbonsense for Windows: its dialog template 102, run modally.
#include "Win32Tools.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RibbonSenseWin32Dialog dialog;
    return RunWin32Tool(dialog, instance);
}
