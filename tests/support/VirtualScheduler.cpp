// The virtual message loop.
#include "VirtualScheduler.h"

void VirtualScheduler::DeliverDue() {
    if (onPump) onPump();
    while (!actions_.empty() && actions_.begin()->first <= clock_.NowUs()) {
        auto action = std::move(actions_.begin()->second);
        actions_.erase(actions_.begin());
        action();
    }
    if (timer.Due(clock_.NowUs())) {
        timer.Ticked(clock_.NowUs());
        if (onTick) onTick();
    }
}

void VirtualScheduler::Pump() {
    clock_.AdvanceUs(pumpStepUs);
    DeliverDue();
}

void VirtualScheduler::Wait() {
    std::optional<std::int64_t> next = timer.NextTickUs();
    if (!actions_.empty() && (!next || actions_.begin()->first < *next)) next = actions_.begin()->first;
    if (!next) {
        if (onStuck) onStuck();
        return;
    }
    clock_.AdvanceToUs(*next);
    DeliverDue();
}
