// Stop requests on Windows: a console control handler, which stays installed, unlike a C runtime
// signal handler (reset to the default before each call, so a second Ctrl-C in quick succession
// could reach the default handler and end the process before its outcome). Closing the console,
// logging off and shutting down ask for the same stop.
#include <windows.h>

#include <csignal>

#include "StopRequests.h"

namespace platform {
namespace {

void (*stopHandler)(int) = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: stopHandler(SIGINT); return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Windows ends the process as soon as this returns: ask for the stop as Ctrl-C does and hold
            // on here, so that the program ends the run itself (a write to memory first) within the
            // seconds Windows allows; its exit ends this thread too.
            stopHandler(SIGINT);
            Sleep(INFINITE);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void CatchStopRequests(void (*handler)(int signal)) {
    stopHandler = handler;
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

}  // namespace platform
