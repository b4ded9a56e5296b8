// The message-box port: every program shows its boxes through here, so a GUI shows them, the
// terminal loader prints them and tests record them, all without the callers knowing which.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class MessageIcon { None, Information, Error, Exclamation };

struct MessageBoxRequest {
    std::string caption;
    std::string text;  // exactly the program's text; CR, LF and CR LF each break a line
    MessageIcon icon = MessageIcon::Information;
    bool topMost = false;    // kept above other windows
    bool ownerless = false;  // not owned by the program's window
};

using MessageBoxHandler = std::function<void(const MessageBoxRequest&)>;

// Installs the handler that shows boxes from now on and returns the one it replaces. An empty
// handler restores the default, which writes "caption: text" to standard error.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows one box and returns when the user has closed it (OK is the only button).
void ShowMessageBox(const MessageBoxRequest& request);

inline void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    ShowMessageBox(MessageBoxRequest{caption, text, icon, false, false});
}

}  // namespace platform
