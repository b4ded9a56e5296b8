// Time for tests: it moves only when a test, a fake or the test host moves it.
#pragma once

#include <cstdint>

class VirtualClock {
public:
    std::int64_t NowUs() const { return nowUs_; }
    std::int64_t NowMs() const { return nowUs_ / 1000; }
    void AdvanceUs(std::int64_t us) { nowUs_ += us; }
    void AdvanceMs(std::int64_t ms) { nowUs_ += ms * 1000; }
    void AdvanceToUs(std::int64_t us) {
        if (us > nowUs_) nowUs_ = us;
    }

private:
    std::int64_t nowUs_ = 0;
};
