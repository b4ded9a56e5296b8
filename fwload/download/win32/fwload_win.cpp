// fwload for Windows: the firmware download program.
#include "Win32FrmMain.h"

#include <commctrl.h>

#include "DynamicLibrary.h"
#include "Win32MessageBox.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    platform::RestrictLibrarySearch();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    platform::InstallWin32MessageBoxes();
    Win32FrmMain form;
    if (form.Create(instance) == nullptr) return 1;
    form.Show();
    return form.RunMessageLoop();
}
