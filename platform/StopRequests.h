// Ctrl-C, and where the system has them SIGTERM and SIGHUP, as requests to stop the program: the
// handler hears of each one, with its signal number (SIGINT for Ctrl-C and Ctrl-Break), for as long
// as the program runs. It may run on another thread or in a signal handler: it must only set flags.
#pragma once

namespace platform {

void CatchStopRequests(void (*handler)(int signal));

}  // namespace platform
