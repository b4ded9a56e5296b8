// Stop requests on Windows: a console control handler, which stays installed, unlike a C runtime
// signal handler (reset to the default before each call, so a second Ctrl-C in quick succession
// could reach the default handler and end the process before its outcome).
#include <windows.h>

#include <csignal>

#include "StopRequests.h"

namespace platform {
namespace {

void (*stopHandler)(int) = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stopHandler(SIGINT);
    return TRUE;
}

}  // namespace

void CatchStopRequests(void (*handler)(int signal)) {
    stopHandler = handler;
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

}  // namespace platform
