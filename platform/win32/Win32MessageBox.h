// The message-box port for the Win32 programs: MessageBoxA, owned by the program's active window
// unless the box is ownerless.
#pragma once

namespace platform {

void InstallWin32MessageBoxes();

}  // namespace platform
