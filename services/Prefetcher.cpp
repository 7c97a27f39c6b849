// SPDX-License-Identifier: MIT
#include "services/Prefetcher.h"

#include "services/Pacer.h"
#include "services/WholeFile.h"

#include <algorithm>
#include <chrono>

namespace paveno {
namespace {

constexpr std::size_t kTailPerConnection = 3;
constexpr std::chrono::milliseconds kProgressEvery{100};

// What a result takes up until it is taken: its body, and the bytes that went straight into its file.
std::size_t Holds(const Request& request, const Fetched& result) {
    return result.body.size() + (request.streamed && result.kept ? result.kept->Size() : 0);
}

bool Same(const Request& a, const Request& b) {
    return a.turn == b.turn && a.part == b.part && a.url == b.url && a.headers == b.headers;
}

} // namespace

Prefetcher::Prefetcher(Settings settings, Pacer& pacer, const std::atomic<bool>* stop)
    : settings_(settings), pacer_(pacer), stop_(stop) {
    const int workers = std::clamp(settings.connections, 1, 64);
    for (int i = 0; i < workers; ++i)
        workers_.emplace_back([this] { Work(); });
    keeper_ = std::thread([this] { Keep(); });
}

Prefetcher::~Prefetcher() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        for (const auto& entry : entries_)
            entry->abandon = true;
    }
    workChanged_.notify_all();
    keeperChanged_.notify_all();
    resultChanged_.notify_all();
    pacer_.Wake(); // a transfer waiting for its turn gives up at once
    for (auto& worker : workers_)
        worker.join();
    keeper_.join();
}

void Prefetcher::Enqueue(const std::vector<Request>& requests) {
    {
        std::lock_guard lock(mutex_);
        for (const Request& request : requests) {
            auto entry = std::make_shared<Entry>();
            entry->request = request;
            entries_.push_back(std::move(entry));
        }
        sealed_ = false;
    }
    workChanged_.notify_all();
}

void Prefetcher::Seal() {
    {
        std::lock_guard lock(mutex_);
        sealed_ = true;
    }
    workChanged_.notify_all();
}

void Prefetcher::Abandon(Entry& entry) {
    entry.abandon = true;
    if (entry.state != State::InFlight && entry.state != State::Keeping) entry.state = State::Dropped;
}

std::deque<std::shared_ptr<Prefetcher::Entry>>::iterator Prefetcher::Find(const Request& request) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) {
        return e->state != State::Dropped && !e->abandon && Same(e->request, request);
    });
}

std::optional<Fetched> Prefetcher::TakeIfCome(const Request& request) {
    std::optional<Fetched> come;
    {
        std::lock_guard lock(mutex_);
        const auto found = Find(request);
        if (found == entries_.end() || (*found)->state != State::Ready) return std::nullopt;
        come = std::move((*found)->result);
        entries_.erase(found);
    }
    workChanged_.notify_all(); // room under the memory cap
    return come;
}

std::optional<Fetched> Prefetcher::Take(const Request& request, const FetchControl& control) {
    std::unique_lock lock(mutex_);
    const auto found = Find(request);
    if (found == entries_.end()) return std::nullopt;
    const std::shared_ptr<Entry> entry = *found;
    std::size_t reported = 0;
    ++entry->awaited;
    while (entry->state == State::InFlight || entry->state == State::Keeping) {
        if (control.progress && entry->received != reported) {
            reported = entry->received;
            control.progress(reported, 0);
        }
        // Its progress is read a few times a second: a wake-up at every chunk would cost more than the display.
        if (control.progress)
            resultChanged_.wait_for(lock, kProgressEvery);
        else
            resultChanged_.wait(lock);
    }
    --entry->awaited;
    std::erase(entries_, entry);
    workChanged_.notify_all(); // room under the memory cap
    if (entry->state != State::Ready) {
        entry->abandon = true; // not started yet: it is the caller's now
        return std::nullopt;
    }
    return std::move(entry->result);
}

void Prefetcher::Release(std::uint32_t turn) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(entries_, [&](const std::shared_ptr<Entry>& entry) {
            if (entry->request.turn > turn) return false;
            Abandon(*entry);
            return true;
        });
    }
    workChanged_.notify_all();
    pacer_.Wake();
}

std::size_t Prefetcher::PeakHeldBytes() const {
    std::lock_guard lock(mutex_);
    return peakHeld_;
}

std::size_t Prefetcher::HeldBytes(const Entry* except) const {
    std::size_t held = 0;
    for (const auto& entry : entries_) {
        if (entry.get() == except) continue;
        held += entry->state == State::Ready ? Holds(entry->request, entry->result) : entry->received;
    }
    return held;
}

std::shared_ptr<Prefetcher::Entry> Prefetcher::NextToFetch() {
    if (HeldBytes(nullptr) >= settings_.memoryCap) return nullptr;
    std::shared_ptr<Entry> first, firstLarge;
    std::size_t queued = 0;
    for (const auto& entry : entries_) {
        if (entry->state != State::Queued) continue;
        ++queued;
        if (!first) first = entry;
        if (!firstLarge && entry->request.large) firstLarge = entry;
    }
    // The tail of a sealed queue: a few requests a connection, the long ones first.
    const bool tail = sealed_ && queued <= kTailPerConnection * workers_.size() && !pacer_.TurnsInOrder();
    return tail && firstLarge ? firstLarge : first;
}

void Prefetcher::Work() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        std::shared_ptr<Entry> next = NextToFetch();
        if (!next) {
            workChanged_.wait(lock);
            continue;
        }
        next->state = State::InFlight;
        lock.unlock();
        Fetch(next);
        lock.lock();
    }
}

void Prefetcher::Fetch(const std::shared_ptr<Entry>& entry) {
    Entry* const e = entry.get();
    FetchControl control;
    control.stop = &e->abandon;
    control.alsoStop = stop_;
    control.headers = e->request.headers;
    control.progress = [this, e](std::uint64_t received, std::uint64_t) {
        std::lock_guard lock(mutex_);
        e->received = received;
        // Beyond the cap only the body the collection asks for next may grow: any other gives up its place, and
        // the collection fetches it itself when it gets there.
        const Entry* head = entries_.empty() ? nullptr : entries_.front().get();
        const std::size_t ahead = HeldBytes(head);
        if (e != head && ahead > settings_.memoryCap) {
            e->abandon = true;
            e->received = 0;
            workChanged_.notify_all(); // its place may go to the body the collection asks for next
        } else {
            peakHeld_ = std::max(peakHeld_, ahead);
        }
    };
    Fetched fetched = Transfer(pacer_, e->request, control);
    std::unique_lock lock(mutex_);
    e->received = 0;
    const bool stopped = stop_ && stop_->load();
    if (e->abandon && !stopped) {
        e->state = State::Dropped;
        Changed(*e);
        return;
    }
    e->result = std::move(fetched);
    peakHeld_ = std::max(peakHeld_, HeldBytes(entries_.empty() ? nullptr : entries_.front().get()));
    if (stopped || (!e->request.judge && e->request.keepAt.empty())) {
        e->state = State::Ready;
        Changed(*e);
        return;
    }
    // What the request asks done with its body (a judgement, a file written ahead) goes to the keeper, so that this
    // connection asks for its next file at once. A keeper that is busy means the site answers faster than one thread
    // writes: the connection then does it itself, as one more writer.
    e->state = State::Keeping;
    e->received = Holds(e->request, e->result); // what it holds while it is worked on without the lock
    if (!keeperBusy_ && toKeep_.empty()) {
        toKeep_.push_back(entry);
        keeperChanged_.notify_one();
        return;
    }
    Finish(*e, lock);
}

// Judges the body and writes it beside its file (the lock is let go meanwhile), then hands the result over.
void Prefetcher::Finish(Entry& entry, std::unique_lock<std::mutex>& lock) {
    if (!entry.abandon) {
        lock.unlock();
        FinishFetched(entry.request, entry.result);
        lock.lock();
    }
    entry.received = 0;
    entry.state = entry.abandon ? State::Dropped : State::Ready;
    if (entry.state == State::Dropped) entry.result = {}; // a file written ahead for nobody goes
    Changed(entry);
}

void Prefetcher::Changed(const Entry& entry) {
    if (entry.awaited > 0) resultChanged_.notify_all();
    if (entry.state == State::Dropped) workChanged_.notify_all(); // room under the memory cap
}

void Prefetcher::Keep() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (toKeep_.empty()) {
            keeperChanged_.wait(lock);
            continue;
        }
        const std::shared_ptr<Entry> entry = std::move(toKeep_.front());
        toKeep_.pop_front();
        keeperBusy_ = true;
        Finish(*entry, lock);
        keeperBusy_ = false;
    }
}

} // namespace paveno
