// The steady-clock window of the engine.
#include "RealTimeHost.h"

#include <algorithm>
#include <thread>

#include "Clock.h"
#include "D2XX_Dyn.h"

namespace {

// How long a wait sleeps at most before looking at its input again.
constexpr std::int64_t kWaitSliceUs = 10000;
// A yield while a reply is awaited: well under the chip's latency, so a reply is collected late by
// a fraction of a millisecond at most.
constexpr std::int64_t kYieldUs = 250;

}  // namespace

RealTimeHost::RealTimeHost(int clockSpeed) : clockSpeed_(clockSpeed < 1 ? 1 : clockSpeed) {}

std::int64_t RealTimeHost::NowUs() const {
    return clockSpeed_ *
           std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void RealTimeHost::SetStatusText(const std::string& text) {
    status_ = text;
    StatusChanged(text);
}

void RealTimeHost::SetSizeText(const std::string& text) { sizeText_ = text; }

void RealTimeHost::SetProgressPosition(int position) {
    position_ = position;
    ProgressChanged(position_, maximum_);
}

void RealTimeHost::SetProgressMaximum(int maximum) {
    maximum_ = maximum;
    ProgressChanged(position_, maximum_);
}

void RealTimeHost::SetStopEnabled(bool enabled) { stopEnabled_ = enabled; }

void RealTimeHost::SetTimerInterval(unsigned milliseconds) { timer_.SetInterval(milliseconds, NowUs()); }

void RealTimeHost::SetTimerEnabled(bool enabled) { timer_.SetEnabled(enabled, NowUs()); }

void RealTimeHost::DeliverDueTick() {
    const std::int64_t now = NowUs();
    if (!timer_.Due(now)) return;
    timer_.Ticked(now);
    if (engine_ != nullptr) engine_->Timer1Timer();
}

void RealTimeHost::PumpMessages() {
    PollInput();
    DeliverDueTick();
    // The reply waits ask the queue before they read, so nothing queued at the last look means a
    // reply is on its way; once it is there, reading goes on without a pause.
    if (yieldAwaitingReplies && FTRxQueueBytes == 0 && IsCardPrinterLinkHeld()) {
        std::this_thread::sleep_for(std::chrono::microseconds(kYieldUs / clockSpeed_));
    }
}

void RealTimeHost::WaitForMessages() {
    const std::int64_t now = NowUs();
    std::int64_t until = now + kWaitSliceUs;
    if (const std::optional<std::int64_t> tick = timer_.NextTickUs()) until = std::min(until, *tick);
    if (until > now) std::this_thread::sleep_for(std::chrono::microseconds((until - now) / clockSpeed_));
    PumpMessages();
}

void RealTimeHost::Sleep(unsigned milliseconds) {
    if (clockSpeed_ == 1) {
        platform::SleepMilliseconds(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(1000LL * milliseconds / clockSpeed_));
}
