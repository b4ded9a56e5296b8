// The window's own clock: Timer1, message pumping and plain sleeping. The window uses Qt's; the
// window tests put a virtual one in its place.
#pragma once

#include <functional>

class WindowClock {
public:
    virtual ~WindowClock() = default;
    virtual void SetTimerInterval(unsigned milliseconds) = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;
    virtual void PumpMessages() = 0;
    virtual void WaitForMessages() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;

    // Delivers Timer1's tick to the window.
    std::function<void()> onTick;
};
