// Timer1 for hosts without a GUI event loop: the host asks whether it is due while it pumps, and
// fires it. Like a window timer, a tick that falls due while the host is busy is delivered once,
// late, and the next one is an interval after it. Times are microseconds on the host's clock.
#pragma once

#include <cstdint>
#include <optional>

class SoftwareTimer {
public:
    bool Enabled() const { return enabled_; }

    // A new interval restarts a running timer.
    void SetInterval(unsigned milliseconds, std::int64_t nowUs);
    // Enabling a stopped timer starts it from now; enabling a running one changes nothing.
    void SetEnabled(bool enabled, std::int64_t nowUs);

    // When the next tick falls due, if the timer runs.
    std::optional<std::int64_t> NextTickUs() const;
    // True when a tick is due now; the caller then delivers it and calls Ticked.
    bool Due(std::int64_t nowUs) const;
    void Ticked(std::int64_t nowUs);

private:
    unsigned intervalMs_ = 1000;
    bool enabled_ = false;
    std::int64_t nextTickUs_ = 0;
};
