// Boxes through MessageBoxA: OK only, the request's icon, above other windows when it asks to be.
#include "Win32MessageBox.h"

#include <windows.h>

#include "MessageBox.h"

namespace platform {
namespace {

UINT IconFlag(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return MB_ICONINFORMATION;
        case MessageIcon::Error: return MB_ICONERROR;
        case MessageIcon::Exclamation: return MB_ICONEXCLAMATION;
        case MessageIcon::None: break;
    }
    return 0;
}

}  // namespace

void InstallWin32MessageBoxes() {
    SetMessageBoxHandler([](const MessageBoxRequest& request) {
        const HWND owner = request.ownerless ? nullptr : GetActiveWindow();
        MessageBoxA(owner, request.text.c_str(), request.caption.c_str(),
                    MB_OK | IconFlag(request.icon) | (request.topMost ? MB_TOPMOST : 0));
    });
}

}  // namespace platform
