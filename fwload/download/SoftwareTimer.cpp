// Due times of the software timer.
#include "SoftwareTimer.h"

void SoftwareTimer::SetInterval(unsigned milliseconds, std::int64_t nowUs) {
    intervalMs_ = milliseconds;
    if (enabled_) nextTickUs_ = nowUs + static_cast<std::int64_t>(intervalMs_) * 1000;
}

void SoftwareTimer::SetEnabled(bool enabled, std::int64_t nowUs) {
    if (enabled && !enabled_) nextTickUs_ = nowUs + static_cast<std::int64_t>(intervalMs_) * 1000;
    enabled_ = enabled;
}

std::optional<std::int64_t> SoftwareTimer::NextTickUs() const {
    if (!enabled_) return std::nullopt;
    return nextTickUs_;
}

bool SoftwareTimer::Due(std::int64_t nowUs) const { return enabled_ && nowUs >= nextTickUs_; }

void SoftwareTimer::Ticked(std::int64_t nowUs) { nextTickUs_ = nowUs + static_cast<std::int64_t>(intervalMs_) * 1000; }
