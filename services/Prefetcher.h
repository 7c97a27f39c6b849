// SPDX-License-Identifier: MIT
#pragma once

#include "services/Http.h"
#include "services/Text.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace paveno {

// Fetches the URLs that a collection is about to ask for ahead of it, over a few connections at once, and hands each
// result to the first fetch of that URL (see SetPrefetcher): the collection still asks in its own order and sees the
// same bodies and outcomes, only sooner. Bodies wait in memory up to a cap; beyond it the prefetcher waits for them to
// be taken.
class Prefetcher {
public:
    struct Settings {
        int connections = 4;                            // transfers at once
        std::size_t memoryCap = std::size_t{256} << 20; // bytes of bodies held for the collection, in flight included
        std::chrono::seconds longestRetryAfter{60};     // the most a 429 or 503 answer's Retry-After makes it wait
    };

    // `stop` (may be null) ends every transfer at once when it becomes true, as the collection's stop does.
    Prefetcher(Settings settings, const std::atomic<bool>* stop);
    ~Prefetcher(); // cancels what is queued or in flight and waits for the transfers to end
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    // Adds URLs in the order the collection will ask for them.
    void Enqueue(const std::vector<Text>& urls);
    // The result for `url` if a prefetch of it is ready or in flight (waiting for the latter), once; nullopt when the
    // URL was not prefetched (not queued, not started yet, dropped, or taken already): then the caller fetches it.
    // While it waits, the caller's progress callback sees the body grow.
    std::optional<Fetched> Take(const Text& url, const FetchControl& control = {});
    // Forgets what is queued and not yet started, and drops what is ready but was never taken.
    void DropUntaken();

    // What the tests and the benchmark look at.
    int Connections() const; // 1 after a 429 or 503 answer, otherwise the setting
    // The most that bodies ahead of the one the collection asks for next held at once (that one it would hold anyway).
    std::size_t PeakHeldBytes() const;

private:
    enum class State { Queued, InFlight, Ready, Dropped };
    struct Entry {
        Text url;
        State state = State::Queued;
        Fetched result;
        std::size_t received = 0; // while in flight
        std::atomic<bool> abandon{false};
    };

    void Work();
    std::shared_ptr<Entry> NextToFetch();             // under the lock
    std::size_t HeldBytes(const Entry* except) const; // under the lock
    void Fetch(const std::shared_ptr<Entry>& entry);

    Settings settings_;
    const std::atomic<bool>* stop_;
    std::atomic<bool> quit_{false}; // the prefetcher is going away; transfers end as if stopped
    std::atomic<bool> ending_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Entry>> entries_; // in the order the collection asks
    int connections_;
    int inFlight_ = 0;
    std::size_t peakHeld_ = 0;
    std::chrono::steady_clock::time_point quietUntil_{}; // a server's Retry-After
    std::vector<std::thread> workers_;
};

// The prefetcher that every fetch (HttpReadFile, HttpFetch) consults first; nullptr for none.
void SetPrefetcher(Prefetcher* prefetcher);

} // namespace paveno
