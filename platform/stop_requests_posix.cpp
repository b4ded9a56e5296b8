// Stop requests on POSIX: the handler stays installed after each signal.
#include <csignal>
#include <initializer_list>

#include "StopRequests.h"

namespace platform {

void CatchStopRequests(void (*handler)(int signal)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace platform
