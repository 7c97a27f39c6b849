// SPDX-License-Identifier: MIT
#include "services/Prefetcher.h"

#include <algorithm>

namespace paveno {
namespace {

Text Key(const Text& url) {
    return url.substr(0, url.find('#')); // what goes over the wire
}

bool TooBusy(const FetchOutcome& outcome) {
    return outcome.status == 429 || outcome.status == 503;
}

} // namespace

Prefetcher::Prefetcher(Settings settings, const std::atomic<bool>* stop)
    : settings_(settings), stop_(stop), connections_(std::clamp(settings.connections, 1, 64)) {
    for (int i = 0; i < connections_; ++i)
        workers_.emplace_back([this] { Work(); });
}

Prefetcher::~Prefetcher() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        for (const auto& entry : entries_)
            entry->abandon = true;
    }
    changed_.notify_all();
    for (auto& worker : workers_)
        worker.join();
}

void Prefetcher::Enqueue(const std::vector<Text>& urls) {
    {
        std::lock_guard lock(mutex_);
        for (const Text& url : urls) {
            auto entry = std::make_shared<Entry>();
            entry->url = Key(url);
            entries_.push_back(std::move(entry));
        }
    }
    changed_.notify_all();
}

std::optional<Fetched> Prefetcher::Take(const Text& url, const FetchControl& control) {
    const Text key = Key(url);
    std::unique_lock lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const auto& e) { return e->url == key && e->state != State::Dropped; });
    if (found == entries_.end()) return std::nullopt;
    const std::shared_ptr<Entry> entry = *found;
    // The collection has moved past everything before this URL: what waits there would never be taken.
    for (auto it = entries_.begin(); it != found; ++it)
        (*it)->abandon = true;
    entries_.erase(entries_.begin(), found);
    std::size_t reported = 0;
    while (entry->state == State::InFlight) {
        if (control.progress && entry->received != reported) {
            reported = entry->received;
            control.progress(reported, 0);
        }
        changed_.wait(lock);
    }
    entries_.erase(std::remove(entries_.begin(), entries_.end(), entry), entries_.end());
    changed_.notify_all();
    // Not started yet, or given up to keep within the memory cap: the caller fetches it itself.
    if (entry->state != State::Ready) return std::nullopt;
    return std::move(entry->result);
}

void Prefetcher::DropUntaken() {
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            entry->abandon = true;
        entries_.clear();
    }
    changed_.notify_all();
}

int Prefetcher::Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

std::size_t Prefetcher::PeakHeldBytes() const {
    std::lock_guard lock(mutex_);
    return peakHeld_;
}

std::size_t Prefetcher::HeldBytes(const Entry* except) const {
    std::size_t held = 0;
    for (const auto& entry : entries_) {
        if (entry.get() == except) continue;
        held += entry->state == State::Ready ? entry->result.body.size() : entry->received;
    }
    return held;
}

std::shared_ptr<Prefetcher::Entry> Prefetcher::NextToFetch() {
    if (inFlight_ >= connections_ || std::chrono::steady_clock::now() < quietUntil_) return nullptr;
    if (HeldBytes(nullptr) >= settings_.memoryCap) return nullptr;
    for (const auto& entry : entries_)
        if (entry->state == State::Queued) return entry;
    return nullptr;
}

void Prefetcher::Work() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        std::shared_ptr<Entry> next = NextToFetch();
        if (!next) {
            // A Retry-After ends by itself; everything else changes under the lock and says so.
            if (std::chrono::steady_clock::now() < quietUntil_)
                changed_.wait_until(lock, quietUntil_);
            else
                changed_.wait(lock);
            continue;
        }
        next->state = State::InFlight;
        ++inFlight_;
        lock.unlock();
        Fetch(next);
        lock.lock();
        --inFlight_;
        changed_.notify_all();
    }
}

void Prefetcher::Fetch(const std::shared_ptr<Entry>& entry) {
    Entry* const e = entry.get();
    FetchControl control;
    control.stop = &e->abandon;
    control.alsoStop = stop_;
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
        } else {
            peakHeld_ = std::max(peakHeld_, ahead);
        }
        changed_.notify_all(); // a collection waiting for this body follows it
    };
    Fetched fetched = FetchFromNetwork(e->url, control);
    if (TooBusy(fetched.outcome) && !e->abandon) {
        // The site asks for fewer requests: one connection from now on, and a pause as long as it asks (within
        // reason) before this URL is asked for again.
        std::unique_lock lock(mutex_);
        connections_ = 1;
        const auto asked =
            fetched.outcome.retryAfter.count() > 0 ? fetched.outcome.retryAfter : std::chrono::seconds(1);
        quietUntil_ = std::chrono::steady_clock::now() + std::min(asked, settings_.longestRetryAfter);
        // The collection's stop says nothing to this lock, so the pause looks for it every tenth of a second.
        const auto given = [&] { return e->abandon || (stop_ && stop_->load()); };
        while (!given() && std::chrono::steady_clock::now() < quietUntil_)
            changed_.wait_for(lock, std::chrono::milliseconds(100));
        lock.unlock();
        if (!given()) fetched = FetchFromNetwork(e->url, control);
    }
    std::lock_guard lock(mutex_);
    e->received = 0;
    const bool stopped = stop_ && stop_->load();
    if (e->abandon && !stopped) {
        e->state = State::Dropped;
        return;
    }
    e->result = std::move(fetched);
    e->state = State::Ready;
    peakHeld_ = std::max(peakHeld_, HeldBytes(entries_.empty() ? nullptr : entries_.front().get()));
}

} // namespace paveno
