// SPDX-License-Identifier: MIT
#pragma once

#include "services/HttpClient.h"
#include "services/Text.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace paveno {

class Pacer;

// Fetches the requests that a collection is about to make ahead of it, over a few connections at once, through the
// run's pacer, and hands each result to the request that it was fetched for (see HttpClient): the collection still
// asks in its own order and sees the same bodies and outcomes, only sooner, and the site sees the same requests.
// Bodies wait in memory (a streamed one in its file) up to a cap; beyond it the prefetcher waits for them to be taken.
class Prefetcher final : public FetchAhead {
public:
    struct Settings {
        int connections = 4; // transfers at once, as far as the pacer allows
        // Bytes of bodies held for the collection: in flight, in memory and in the files they went into.
        std::size_t memoryCap = std::size_t{256} << 20;
    };

    // `stop` (may be null) ends every transfer at once when it becomes true, as the collection's stop does.
    Prefetcher(Settings settings, Pacer& pacer, const std::atomic<bool>* stop);
    ~Prefetcher() override; // cancels what is queued or in flight and waits for the transfers to end
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    // Adds requests in the order the collection will make them.
    void Enqueue(const std::vector<Request>& requests);
    // Nothing more is coming until what is queued was taken. The last few requests then start their long transfers
    // first, so that the connections end together rather than one archive ending the run alone; at a response delay
    // over 1 ms the turns keep their order instead.
    void Seal();
    // Not started yet, or given up to keep within the memory cap: nullopt, and the caller fetches it itself.
    std::optional<Fetched> Take(const Request& request, const FetchControl& control) override;
    std::optional<Fetched> TakeIfCome(const Request& request) override;
    // The collection is done with every turn up to `turn`: whatever of them it did not take is dropped.
    void Release(std::uint32_t turn);

    // The most that bodies ahead of the one the collection asks for next held at once (that one it would hold anyway).
    std::size_t PeakHeldBytes() const;

private:
    enum class State { Queued, InFlight, Keeping, Ready, Dropped };
    struct Entry {
        Request request;
        State state = State::Queued;
        Fetched result;
        std::size_t received = 0; // while in flight or kept
        int awaited = 0;          // collections waiting for it (under the lock)
        std::atomic<bool> abandon{false};
    };

    void Work();
    std::deque<std::shared_ptr<Entry>>::iterator Find(const Request& request); // under the lock
    std::shared_ptr<Entry> NextToFetch();                                      // under the lock
    std::size_t HeldBytes(const Entry* except) const;                          // under the lock
    void Abandon(Entry& entry);                                                // under the lock
    void Fetch(const std::shared_ptr<Entry>& entry);
    void Keep(); // the keeper: judges the bodies that came and writes them beside their files
    void Finish(Entry& entry, std::unique_lock<std::mutex>& lock);
    void Changed(const Entry& entry); // under the lock: wakes whoever waits for the entry's new state

    const Settings settings_;
    Pacer& pacer_;
    const std::atomic<bool>* stop_;
    bool ending_ = false;
    bool sealed_ = false;
    mutable std::mutex mutex_;
    // A signal for each kind of waiter: a body's chunks wake nobody, a result only the collection waiting for it.
    std::condition_variable workChanged_;        // workers: requests queued, sealed or dropped, room under the cap
    std::condition_variable keeperChanged_;      // the keeper: a body to keep
    std::condition_variable resultChanged_;      // the collection: the result it waits for came
    std::deque<std::shared_ptr<Entry>> entries_; // in the order the collection asks
    std::size_t peakHeld_ = 0;
    std::vector<std::thread> workers_;
    std::deque<std::shared_ptr<Entry>> toKeep_; // fetched, for the keeper
    bool keeperBusy_ = false;
    std::thread keeper_;
};

} // namespace paveno
