// The virtual-clock window of the engine tests.
#include "TestHost.h"

#include <gtest/gtest.h>

TestHost::TestHost(VirtualClock& clock) : scheduler(clock), clock_(clock) {
    previousHandler_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
        boxes.push_back(request);
        events.push_back("box: " + request.caption + ": " + request.text);
    });
}

TestHost::~TestHost() { platform::SetMessageBoxHandler(std::move(previousHandler_)); }

void TestHost::Attach(DownloadEngine& engine) {
    scheduler.onTick = [&engine] { engine.Timer1Timer(); };
    scheduler.onStuck = [&engine] {
        ADD_FAILURE() << "waiting for messages with no timer running and nothing scheduled";
        engine.StopFlag = true;
    };
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

void TestHost::Sleep(unsigned milliseconds) {
    events.push_back("sleep: " + std::to_string(milliseconds));
    scheduler.Sleep(milliseconds);
}
