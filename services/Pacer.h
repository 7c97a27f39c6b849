// SPDX-License-Identifier: MIT
#pragma once

#include "services/Clock.h"
#include "services/Http.h"
#include "services/Text.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>

namespace paveno {

// How a run treats the site: the user's response delay between turns, and how far it backs off when the site asks.
struct PacerSettings {
    std::chrono::milliseconds turnGap{0};       // the least time between the starts of two turns (list pages, books)
    int connections = 1;                        // requests at once while the site is at ease
    std::chrono::milliseconds usualPause{2000}; // a busy answer's pause when it names none
    std::chrono::milliseconds longestPause{60'000};
    // After a pause, the least gap between any two request starts: this, doubled by each further pause (up to the
    // longest) until the site has been at ease long enough to have every connection back and then some.
    std::chrono::milliseconds firstGap{250};
    std::chrono::milliseconds longestGap{10'000};
    int goodToEase = 20;    // good answers in a row that halve the gap, or bring a connection back
    int askAgain = 3;       // a request turned away by a busy or unreachable site is asked again this often
    int failuresToQuit = 5; // requests in a row that fail for the site's reasons end the run
};

// One per run: every request of the run asks it first. It keeps the user's response delay between turns whatever
// connection carries them (a turn is a list page, or a book: the first of its requests takes the turn, its others go
// back to back), pauses every request when the site answers 429 or 503 or drops connections, then goes on with one
// connection and a least gap between request starts that widens with every pause and narrows only after a run of
// good answers. Turns are taken in order (at a delay over 1 ms): a request of a later turn waits until every earlier
// one was taken or passed.
class Pacer {
public:
    struct Event {
        enum class Kind { Start, Pause } kind;
        Clock::TimePoint at;
        std::uint32_t turn = 0;            // Start: the request's turn
        std::chrono::milliseconds pause{}; // Pause: how long every request now waits
        int status = 0;                    // Pause: the answer that asked for it (0: the connection failed)
    };

    explicit Pacer(PacerSettings settings, const Clock& clock = SteadyClock());
    Pacer(const Pacer&) = delete;
    Pacer& operator=(const Pacer&) = delete;

    // One request of `turn` (0: a request outside the turns), paced, and asked again while the site turns it away.
    // The outcome is its last attempt's; a busy site's last refusal reads 服务器繁忙. A stop (the control's flags, or
    // the site given up for gone) ends the wait at once with an empty, stopped outcome.
    Fetched Fetch(const Text& url, std::uint32_t turn, const FetchControl& control = {});
    // A turn that will ask for nothing after all, so that later turns need not wait for it.
    void Pass(std::uint32_t turn);
    // Every turn up to `turn` is over, taken or not.
    void PassUpTo(std::uint32_t turn);
    // A stop flag was set: every wait looks at it now.
    void Wake();

    // Five requests in a row failed for the site's reasons: nothing more is asked.
    bool SiteGone() const;
    int Connections() const; // requests allowed at once now
    bool TurnsInOrder() const { return settings_.turnGap > std::chrono::milliseconds(1); }
    std::chrono::milliseconds Gap() const;
    // What is left of the pause that every request waits out now; zero when there is none.
    std::chrono::milliseconds PauseLeft() const;
    // Sees every request start and every pause, on the thread that made it, after the fact.
    void SetObserver(std::function<void(const Event&)> observer);

private:
    enum class Verdict { Done, AskAgain, GiveUp };
    struct Permit {
        std::uint64_t episode = 0;
    };
    bool Begin(std::uint32_t turn, const FetchControl& control, Permit& permit, Event& started);
    Verdict End(const Permit& permit, const FetchOutcome& outcome, bool stopped, int attempt, Event& pause);
    void SlowDown(const Permit& permit, std::chrono::milliseconds asked, int status, Event& pause); // under the lock
    void TakeTurn(std::uint32_t turn, Clock::TimePoint now);                                        // under the lock

    const PacerSettings settings_;
    const Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void(const Event&)> observer_;
    std::uint32_t taken_ = 0;          // every turn up to this one has been taken or passed
    std::set<std::uint32_t> passed_;   // turns passed before the ones ahead of them were taken
    Clock::TimePoint lastTurnStart_{}; // when the latest turn began
    Clock::TimePoint lastStart_{};     // when the latest request began
    Clock::TimePoint pausedUntil_{};
    std::chrono::milliseconds gap_{0};
    std::chrono::milliseconds pauseGap_{0}; // the gap the latest pause set, until the site is trusted again
    std::uint64_t episode_ = 0;             // counts the pauses, so that the answers of one burst widen the gap once
    int allowed_;
    int inFlight_ = 0;
    int goodInRow_ = 0;
    int failuresInRow_ = 0;
    bool siteAnswered_ = false; // before the site ever answered, a refused connection is its answer
    bool siteGone_ = false;
};

} // namespace paveno
