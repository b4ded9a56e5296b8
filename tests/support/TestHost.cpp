// The virtual-clock window of the engine tests.
#include "TestHost.h"

#include <gtest/gtest.h>

TestHost::TestHost(VirtualClock& clock) : clock_(clock) {
    previousHandler_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
        boxes.push_back(request);
        events.push_back("box: " + request.caption + ": " + request.text);
    });
}

TestHost::~TestHost() { platform::SetMessageBoxHandler(std::move(previousHandler_)); }

void TestHost::At(std::int64_t milliseconds, std::function<void()> action) {
    actions_.emplace(milliseconds * 1000, std::move(action));
}

std::vector<std::string> TestHost::StatusTexts() const {
    std::vector<std::string> texts;
    for (const std::string& event : events) {
        if (event.rfind("status: ", 0) == 0) texts.push_back(event.substr(8));
    }
    return texts;
}

std::vector<std::string> TestHost::Boxes() const {
    std::vector<std::string> lines;
    for (const auto& box : boxes) lines.push_back(box.caption + ": " + box.text);
    return lines;
}

void TestHost::SetStatusText(const std::string& text) {
    status = text;
    events.push_back("status: " + text);
}

void TestHost::SetSizeText(const std::string& text) {
    sizeText = text;
    events.push_back("size: " + text);
}

void TestHost::SetProgressPosition(int value) {
    position = value;
    progress.emplace_back(clock_.NowMs(), value);
}

void TestHost::SetStopEnabled(bool enabled) {
    stopEnabled = enabled;
    events.push_back(enabled ? "stop: on" : "stop: off");
}

void TestHost::DeliverDue() {
    while (!actions_.empty() && actions_.begin()->first <= clock_.NowUs()) {
        auto action = std::move(actions_.begin()->second);
        actions_.erase(actions_.begin());
        action();
    }
    if (timer.Due(clock_.NowUs())) {
        timer.Ticked(clock_.NowUs());
        if (engine_ != nullptr) engine_->Timer1Timer();
    }
}

void TestHost::PumpMessages() {
    clock_.AdvanceUs(pumpStepUs);
    DeliverDue();
}

void TestHost::WaitForMessages() {
    std::optional<std::int64_t> next = timer.NextTickUs();
    if (!actions_.empty() && (!next || actions_.begin()->first < *next)) next = actions_.begin()->first;
    if (!next) {
        ADD_FAILURE() << "waiting for messages with no timer running and nothing scheduled";
        if (engine_ != nullptr) engine_->StopFlag = true;
        return;
    }
    clock_.AdvanceToUs(*next);
    DeliverDue();
}

void TestHost::Sleep(unsigned milliseconds) {
    events.push_back("sleep: " + std::to_string(milliseconds));
    clock_.AdvanceMs(milliseconds);
}
