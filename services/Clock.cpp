// SPDX-License-Identifier: MIT
#include "services/Clock.h"

namespace paveno {
namespace {

class Steady final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) const override {
        if (deadline == TimePoint::max())
            changed.wait(lock);
        else
            changed.wait_until(lock, deadline);
    }
};

} // namespace

const Clock& SteadyClock() {
    static const Steady clock;
    return clock;
}

void ManualClock::WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                            TimePoint deadline) const {
    if (deadline == TimePoint::max()) {
        changed.wait(lock);
        return;
    }
    // Time moves on to what the waiter waits for; a waiter for a later time moves it further when its turn comes.
    std::int64_t now = now_.load();
    const std::int64_t wanted = deadline.time_since_epoch().count();
    while (now < wanted && !now_.compare_exchange_weak(now, wanted)) {
    }
}

} // namespace paveno
