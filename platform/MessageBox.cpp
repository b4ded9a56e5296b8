// The message-box port's registry and its default, a line on standard error.
#include "MessageBox.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {

MessageBoxHandler& CurrentHandler() {
    static MessageBoxHandler handler;
    return handler;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

void ShowMessageBox(const MessageBoxRequest& request) {
    const MessageBoxHandler& handler = CurrentHandler();
    if (handler) {
        handler(request);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
}

}  // namespace platform
