// Timer1, scheduled user actions and sleeping on a virtual clock: the message loop of the tests.
// Pumping moves the clock a small step; waiting jumps it to the next tick or action.
#pragma once

#include <functional>
#include <map>

#include "SoftwareTimer.h"
#include "VirtualClock.h"

class VirtualScheduler {
public:
    explicit VirtualScheduler(VirtualClock& clock) : clock_(clock) {}

    // Delivers Timer1's ticks.
    std::function<void()> onTick;
    // Runs at every pump and wait, before due actions (the window's own event processing).
    std::function<void()> onPump;
    // Called when a wait finds nothing that could ever end it.
    std::function<void()> onStuck;
    // How far the clock moves at each pump.
    std::int64_t pumpStepUs = 1000;

    SoftwareTimer timer;

    // Runs the action when the clock reaches the given millisecond.
    void At(std::int64_t milliseconds, std::function<void()> action) {
        actions_.emplace(milliseconds * 1000, std::move(action));
    }
    void SetTimerInterval(unsigned milliseconds) { timer.SetInterval(milliseconds, clock_.NowUs()); }
    void SetTimerEnabled(bool enabled) { timer.SetEnabled(enabled, clock_.NowUs()); }

    void Pump();
    void Wait();
    void Sleep(unsigned milliseconds) { clock_.AdvanceMs(milliseconds); }

private:
    void DeliverDue();

    VirtualClock& clock_;
    std::multimap<std::int64_t, std::function<void()>> actions_;
};
