// Records the message boxes shown while it lives, instead of showing them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "MessageBox.h"

class MessageBoxRecorder {
public:
    MessageBoxRecorder() {
        previous_ = platform::SetMessageBoxHandler(
            [this](const platform::MessageBoxRequest& request) { boxes.push_back(request); });
    }
    ~MessageBoxRecorder() { platform::SetMessageBoxHandler(std::move(previous_)); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // "caption: text" of each box, for compact comparisons.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& box : boxes) lines.push_back(box.caption + ": " + box.text);
        return lines;
    }

    std::vector<platform::MessageBoxRequest> boxes;

private:
    platform::MessageBoxHandler previous_;
};
