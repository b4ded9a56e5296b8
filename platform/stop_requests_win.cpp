// Stop requests on Windows: a console control handler, which stays installed, unlike a C runtime
// signal handler (reset to the default before each call, so a second Ctrl-C in quick succession
// could reach the default handler and end the process before its outcome). Closing the console,
// logging off and shutting down ask for the same stop. A program started by a parent of the suite
// (a station's worker) may have no console of its own to receive Ctrl-Break: its parent names an event
// in SUITE_STOP_EVENT and sets it to ask for the stop.
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

DWORD WINAPI WatchStopEvent(void* event) {
    for (;;) {
        if (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) != WAIT_OBJECT_0) return 0;
        stopHandler(SIGINT);
    }
}

}  // namespace

void CatchStopRequests(void (*handler)(int signal)) {
    stopHandler = handler;
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    char name[256] = {};
    const DWORD length = GetEnvironmentVariableA("SUITE_STOP_EVENT", name, sizeof name);
    if (length > 0 && length < sizeof name) {
        // An auto-reset event: each time the parent sets it is one stop request.
        if (HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name)) {
            if (HANDLE thread = CreateThread(nullptr, 0, &WatchStopEvent, event, 0, nullptr)) CloseHandle(thread);
        }
    }
}

}  // namespace platform
