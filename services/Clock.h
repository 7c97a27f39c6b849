// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace paveno {

// Where code that waits or paces reads the time. The program uses the steady clock; a test hands in a ManualClock,
// so that a 60-second pause takes no time and never races a loaded machine.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint Now() const = 0;
    // Waits on `changed` (with `lock` held) until `deadline` or until it is notified; may return early, so callers
    // test their condition again. TimePoint::max() waits for a notification alone.
    virtual void WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                           TimePoint deadline) const = 0;
};

// The real time.
const Clock& SteadyClock();

// A clock that stands still until someone waits for a time: then it moves there at once.
class ManualClock final : public Clock {
public:
    TimePoint Now() const override { return TimePoint(std::chrono::nanoseconds(now_.load())); }
    void WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) const override;
    void Advance(std::chrono::nanoseconds by) { now_ += by.count(); }

private:
    mutable std::atomic<std::int64_t> now_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
};

} // namespace paveno
