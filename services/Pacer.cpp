// SPDX-License-Identifier: MIT
#include "services/Pacer.h"

#include "services/Gbk.h"

#include <algorithm>

namespace paveno {
namespace {

using std::chrono::milliseconds;

// What an answer says about the site.
enum class Answer {
    Good,        // the site answered on purpose: 2xx, 304, 404 and the like
    Busy,        // 429 or 503: the site asks for fewer requests
    Unreachable, // the connection was refused or dropped
    Failing,     // no answer at all, or a server error
    Neutral,     // says nothing of the site: stopped, or a transfer cut for the caller's own limits
};

Answer Judge(const FetchOutcome& outcome, bool stopped) {
    if (stopped) return Answer::Neutral;
    if (outcome.status == 429 || outcome.status == 503) return Answer::Busy;
    switch (outcome.fault) {
    case ConnectionFault::Refused:
    case ConnectionFault::Dropped:
        return Answer::Unreachable;
    case ConnectionFault::Silent:
        return Answer::Failing;
    case ConnectionFault::None:
        break;
    }
    if (outcome.status >= 500) return Answer::Failing;
    if (outcome.status >= 200 && outcome.whole) return Answer::Good;
    return Answer::Neutral;
}

bool Stopped(const FetchControl& control) {
    return (control.stop && control.stop->load()) || (control.alsoStop && control.alsoStop->load());
}

} // namespace

Pacer::Pacer(PacerSettings settings, const Clock& clock)
    : settings_(settings), clock_(clock), allowed_(std::max(1, settings.connections)) {}

void Pacer::SetObserver(std::function<void(const Event&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

bool Pacer::SiteGone() const {
    std::lock_guard lock(mutex_);
    return siteGone_;
}

int Pacer::Connections() const {
    std::lock_guard lock(mutex_);
    return allowed_;
}

milliseconds Pacer::Gap() const {
    std::lock_guard lock(mutex_);
    return gap_;
}

milliseconds Pacer::PauseLeft() const {
    std::lock_guard lock(mutex_);
    const auto now = clock_.Now();
    return now < pausedUntil_ ? std::chrono::ceil<milliseconds>(pausedUntil_ - now) : milliseconds(0);
}

void Pacer::Wake() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

void Pacer::Pass(std::uint32_t turn) {
    {
        std::lock_guard lock(mutex_);
        if (turn <= taken_) return;
        passed_.insert(turn);
        while (passed_.erase(taken_ + 1) > 0)
            ++taken_;
    }
    changed_.notify_all();
}

void Pacer::PassUpTo(std::uint32_t turn) {
    {
        std::lock_guard lock(mutex_);
        if (turn <= taken_) return;
        taken_ = turn;
        passed_.erase(passed_.begin(), passed_.upper_bound(turn));
        while (passed_.erase(taken_ + 1) > 0)
            ++taken_;
    }
    changed_.notify_all();
}

void Pacer::TakeTurn(std::uint32_t turn, Clock::TimePoint now) {
    taken_ = std::max(taken_, turn);
    lastTurnStart_ = now;
    while (passed_.erase(taken_ + 1) > 0)
        ++taken_;
}

bool Pacer::Begin(std::uint32_t turn, const FetchControl& control, Permit& permit, Event& started) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (Stopped(control) || siteGone_) return false;
        const auto now = clock_.Now();
        // Waiting for another request (a free connection, an earlier turn) has no time of its own to wait for.
        bool waitsForOthers = inFlight_ >= allowed_;
        Clock::TimePoint ready = std::max(now, pausedUntil_);
        if (gap_ > milliseconds(0)) ready = std::max(ready, lastStart_ + gap_);
        const bool newTurn = turn > taken_;
        // With a response delay of a millisecond or none the order of turns paces nothing: a book fetched ahead need
        // not wait for the list pages still to come.
        if (newTurn) {
            if (turn != taken_ + 1 && settings_.turnGap > milliseconds(1)) waitsForOthers = true;
            if (taken_ > 0) ready = std::max(ready, lastTurnStart_ + settings_.turnGap);
        }
        if (!waitsForOthers && ready <= now) {
            ++inFlight_;
            lastStart_ = now;
            if (newTurn) TakeTurn(turn, now);
            permit.episode = episode_;
            started = {Event::Kind::Start, now, turn, {}, 0};
            break;
        }
        clock_.WaitUntil(changed_, lock, waitsForOthers ? Clock::TimePoint::max() : ready);
    }
    lock.unlock();
    changed_.notify_all(); // a later turn may go now
    return true;
}

void Pacer::SlowDown(const Permit& permit, milliseconds asked, int status, Event& pause) {
    const auto now = clock_.Now();
    const milliseconds wait = std::min(asked > milliseconds(0) ? asked : settings_.usualPause, settings_.longestPause);
    // A pause is never shortened by a later answer, and the answers of requests that were already under way when it
    // began widen the gap only once.
    if (now + wait > pausedUntil_) {
        pausedUntil_ = now + wait;
        pause = {Event::Kind::Pause, now, 0, wait, status};
    }
    // A site that is refused again before it was fully trusted again gets twice the gap of the last pause, even
    // where the gap had narrowed since.
    if (permit.episode == episode_) {
        ++episode_;
        pauseGap_ = pauseGap_ == milliseconds(0) ? settings_.firstGap : std::min(pauseGap_ * 2, settings_.longestGap);
        gap_ = pauseGap_;
    }
    allowed_ = 1;
    goodInRow_ = 0;
}

Pacer::Verdict Pacer::End(const Permit& permit, const FetchOutcome& outcome, bool stopped, int attempt, Event& pause) {
    std::lock_guard lock(mutex_);
    --inFlight_;
    Verdict verdict = Verdict::Done;
    bool failed = false;
    switch (Judge(outcome, stopped)) {
    case Answer::Good:
        siteAnswered_ = true;
        failuresInRow_ = 0;
        if (++goodInRow_ >= settings_.goodToEase) {
            goodInRow_ = 0;
            if (gap_ > milliseconds(0)) {
                gap_ /= 2;
                if (gap_ < settings_.firstGap) gap_ = milliseconds(0);
            } else if (allowed_ < settings_.connections) {
                ++allowed_;
            } else {
                pauseGap_ = milliseconds(0); // at ease for a while: a later pause starts from the first gap again
            }
        }
        break;
    case Answer::Busy:
        siteAnswered_ = true;
        SlowDown(permit, outcome.retryAfter, outcome.status, pause);
        verdict = attempt < settings_.askAgain ? Verdict::AskAgain : Verdict::GiveUp;
        failed = verdict == Verdict::GiveUp && outcome.status >= 500;
        break;
    case Answer::Unreachable:
        goodInRow_ = 0;
        // The run's first request finds out whether there is a site at all; it is not asked again.
        if (siteAnswered_) {
            SlowDown(permit, milliseconds(0), 0, pause);
            if (attempt < settings_.askAgain) verdict = Verdict::AskAgain;
        }
        failed = verdict == Verdict::Done;
        break;
    case Answer::Failing:
        goodInRow_ = 0;
        failed = true;
        break;
    case Answer::Neutral:
        break;
    }
    if (failed && ++failuresInRow_ >= settings_.failuresToQuit) siteGone_ = true;
    changed_.notify_all();
    return verdict;
}

Fetched Pacer::Fetch(const Text& url, std::uint32_t turn, const FetchControl& control) {
    for (int attempt = 0;; ++attempt) {
        Permit permit;
        Event started{};
        if (!Begin(turn, control, permit, started)) {
            FetchOutcome stopped;
            stopped.reason = Gbk("已停止");
            return {{}, stopped};
        }
        std::function<void(const Event&)> observer;
        {
            std::lock_guard lock(mutex_);
            observer = observer_;
        }
        if (observer) observer(started);
        Fetched fetched = FetchFromNetwork(url, control);
        Event pause{Event::Kind::Start, {}, 0, {}, 0};
        const Verdict verdict = End(permit, fetched.outcome, Stopped(control), attempt, pause);
        if (observer && pause.kind == Event::Kind::Pause) observer(pause);
        if (verdict == Verdict::AskAgain) continue;
        if (verdict == Verdict::GiveUp && fetched.outcome.fault == ConnectionFault::None)
            fetched.outcome.reason = Gbk("服务器繁忙");
        return fetched;
    }
}

} // namespace paveno
