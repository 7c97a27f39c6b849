// SPDX-License-Identifier: MIT
// The pacer and the prefetcher against a real site on 127.0.0.1, on a clock that moves only when someone waits.
#include "services/Pacer.h"
#include "services/Gbk.h"
#include "services/HttpClient.h"
#include "services/Prefetcher.h"
#include "services/WholeFile.h"
#include "tests/services/FilesTestHelpers.h"
#include "tests/support/LocalSite.h"
#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

using namespace paveno;
using namespace paveno::test;
using namespace std::chrono_literals;

namespace {

SiteResponse Busy(int status, std::string_view retryAfter = {}) {
    SiteResponse busy = SiteResponse::Page("<html>slow down</html>", status);
    if (!retryAfter.empty()) busy.headers.push_back({"Retry-After", std::string(retryAfter)});
    return busy;
}

// What the pacer let start and when it paused, on its clock.
struct Watched {
    std::mutex mutex;
    std::vector<Pacer::Event> events;

    void Watch(Pacer& pacer) {
        pacer.SetObserver([this](const Pacer::Event& e) {
            std::lock_guard lock(mutex);
            events.push_back(e);
        });
    }
    std::vector<Pacer::Event> Of(Pacer::Event::Kind kind) {
        std::lock_guard lock(mutex);
        std::vector<Pacer::Event> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out), [&](auto& e) { return e.kind == kind; });
        return out;
    }
    // No request started while a pause was on.
    void ExpectNoStartInsideAPause() {
        for (const auto& pause : Of(Pacer::Event::Kind::Pause))
            for (const auto& start : Of(Pacer::Event::Kind::Start))
                EXPECT_FALSE(start.at > pause.at && start.at < pause.at + pause.pause)
                    << "a request started " << (start.at - pause.at) / 1ms << " ms into a pause of "
                    << pause.pause / 1ms << " ms";
    }
};

class PacerTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetHttpSettings();
        SetHttpSettings({5s, 5s, saved_.bodyCap});
    }
    void TearDown() override { SetHttpSettings(saved_); }

    int Requests(std::string_view target) const {
        const auto all = site_.requests();
        return static_cast<int>(std::count_if(all.begin(), all.end(), [&](auto& r) { return r.target == target; }));
    }

    NoProxyEnvironment noProxy_;
    LocalSite site_;
    ManualClock clock_;
    HttpSettings saved_;
};

// Four connections fetch ahead while a harvest takes the books in order: every book's first request starts at least
// the response delay after the one before, whatever connection carries it, and each file is asked for once.
TEST_F(PacerTest, TheResponseDelayHoldsBetweenBooksOnEveryConnection) {
    constexpr int books = 12;
    std::vector<Request> ahead;
    for (int b = 1; b <= books; ++b) {
        const std::string n = std::to_string(b);
        site_.serve("/txt/" + n, "page " + n);
        site_.serve("/down/" + n, std::string(20000 + b, 'r'));
        ahead.push_back({site_.url("/txt/" + n), std::uint32_t(b), 1});
        ahead.push_back({site_.url("/down/" + n), std::uint32_t(b), 2});
    }
    PacerSettings settings;
    settings.turnGap = 700ms;
    settings.connections = 4;
    Pacer pacer(settings, clock_);
    Watched watched;
    watched.Watch(pacer);
    std::atomic<bool> stop{false};
    Prefetcher prefetcher({4, std::size_t{64} << 20}, pacer, &stop);
    HttpClient http(pacer, &prefetcher);
    prefetcher.Enqueue(ahead);
    for (const Request& request : ahead) {
        const Fetched got = http.Fetch(request);
        ASSERT_TRUE(got.outcome.Good()) << request.url;
        EXPECT_EQ(got.body.size(), request.part == 1 ? ("page " + std::to_string(request.turn)).size()
                                                     : std::size_t(20000 + request.turn));
        prefetcher.Release(request.turn - (request.part == 1 ? 1 : 0));
    }
    std::map<std::uint32_t, Clock::TimePoint> firstStart;
    for (const auto& e : watched.Of(Pacer::Event::Kind::Start))
        if (!firstStart.count(e.turn) || e.at < firstStart[e.turn]) firstStart[e.turn] = e.at;
    ASSERT_EQ(firstStart.size(), std::size_t(books));
    for (std::uint32_t b = 2; b <= books; ++b)
        EXPECT_GE(firstStart[b] - firstStart[b - 1], 700ms) << "book " << b;
    EXPECT_EQ(site_.requests().size(), std::size_t(2 * books)) << "a file was asked for twice";
}

// A prefetched result goes to the request it was fetched for: two books sharing a cover address are two requests,
// and taking the second book's cover drops nothing that waits for the books between them.
TEST_F(PacerTest, SharedAddressesAreMatchedByTheirBook) {
    site_.serve("/shared.jpg", "placeholder");
    for (int b = 1; b <= 4; ++b)
        site_.serve("/down/" + std::to_string(b), "archive " + std::to_string(b));
    std::vector<Request> ahead;
    for (std::uint32_t b = 1; b <= 4; ++b) {
        ahead.push_back({site_.url("/shared.jpg"), b, 1});
        ahead.push_back({site_.url("/down/" + std::to_string(b)), b, 2});
    }
    Pacer pacer({0ms, 4}, clock_);
    Prefetcher prefetcher({4, std::size_t{64} << 20}, pacer, nullptr);
    HttpClient http(pacer, &prefetcher);
    prefetcher.Enqueue(ahead);
    for (const Request& request : ahead) {
        EXPECT_TRUE(http.Fetch(request).outcome.Good());
        if (request.part == 1) {
            EXPECT_TRUE(http.Fetch(request).outcome.Good()) << "a retry goes to the site";
        }
    }
    EXPECT_EQ(Requests("/shared.jpg"), 8) << "each book's cover, and each retry, once";
    for (int b = 1; b <= 4; ++b)
        EXPECT_EQ(Requests("/down/" + std::to_string(b)), 1) << b;
}

// A collection waiting for a body fetched ahead sees it grow, a few times a second rather than at every chunk that
// comes: a waiter woken at every chunk costs more than the display it feeds.
TEST_F(PacerTest, AWaitedBodyShowsItsProgressWithoutWakingAtEveryChunk) {
    const std::string body(60, 'x');
    site_.respond("/slow", SiteResponse::Drip(body, 5)); // 60 chunks over at least 300 ms
    const Request slow{site_.url("/slow"), 1, 2};
    Pacer pacer({0ms, 4}, clock_);
    Prefetcher prefetcher({4, std::size_t{64} << 20}, pacer, nullptr);
    HttpClient http(pacer, &prefetcher);
    prefetcher.Enqueue({slow});
    while (Requests("/slow") == 0) // in flight, so that the taker waits for it
        std::this_thread::sleep_for(1ms);
    std::vector<std::uint64_t> shown;
    FetchControl control;
    control.progress = [&](std::uint64_t received, std::uint64_t) { shown.push_back(received); };
    const auto start = std::chrono::steady_clock::now();
    const Fetched fetched = http.Fetch(slow, control);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(std::string(fetched.body.begin(), fetched.body.end()), body);
    EXPECT_EQ(Requests("/slow"), 1) << "taken from the prefetcher, not asked again";
    ASSERT_FALSE(shown.empty()) << "the body's progress shows while it comes";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_LE(shown.size(), static_cast<std::size_t>(waited / 100ms + 2)) << "one report a chunk";
}

// The last requests of a sealed queue start their long transfers first, so that the connections end together; with
// more to come, or at a response delay that orders the turns, they go in the collection's order. One connection
// makes the order the site sees exact; the first request is held until the queue is sealed, and the results are
// taken once the last has come (a result not started yet would be the taker's to fetch).
TEST_F(PacerTest, TheLastRequestsStartTheirArchivesFirst) {
    struct Case {
        bool sealed;
        std::chrono::milliseconds delay;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {true, 0ms, {"/t1", "/a1", "/t2", "/a2", "/a3", "/t3"}},
        {false, 0ms, {"/t1", "/a1", "/t2", "/a2", "/t3", "/a3"}},
        {true, 700ms, {"/t1", "/a1", "/t2", "/a2", "/t3", "/a3"}},
    };
    for (const Case& c : cases) {
        site_.clearRequests();
        auto gate = std::make_shared<SiteGate>();
        site_.respond("/t1", SiteResponse::HeldBy(gate, "text 1"));
        std::vector<Request> ahead;
        for (std::uint32_t b = 1; b <= 3; ++b) {
            const std::string n = std::to_string(b);
            if (b > 1) site_.serve("/t" + n, "text " + n);
            site_.serve("/a" + n, std::string(30000, 'a'));
            ahead.push_back({site_.url("/t" + n), b, 1});
            ahead.push_back({site_.url("/a" + n), b, 2, {}, true});
        }
        Pacer pacer({c.delay, 1}, clock_);
        Prefetcher prefetcher({1, std::size_t{64} << 20}, pacer, nullptr);
        HttpClient http(pacer, &prefetcher);
        prefetcher.Enqueue(ahead);
        auto allCome = std::make_shared<SiteGate>();
        site_.openOnRequest(c.order.back(), allCome);
        if (c.sealed) prefetcher.Seal();
        gate->Open();
        ASSERT_TRUE(allCome->WaitOpen(60s));
        for (const Request& request : ahead)
            EXPECT_TRUE(http.Fetch(request).outcome.Good()) << request.url;
        std::vector<std::string> seen;
        for (const SiteRequest& r : site_.requests())
            seen.push_back(r.target);
        EXPECT_EQ(seen, c.order) << "sealed " << c.sealed << ", delay " << c.delay / 1ms << " ms";
    }
}

// Bodies fetched ahead are judged and written beside their files before anyone takes them: a good one waits under a
// temporary name for its commit, one the judge refuses is not written, and one nobody takes leaves nothing behind.
TEST_F(PacerTest, BodiesFetchedAheadAreJudgedAndWrittenBesideTheirFiles) {
    test::TempRunDirectory run;
    site_.serve("/good", "a good archive");
    site_.serve("/page", "<html>maintenance</html>");
    site_.serve("/left", "never taken");
    site_.respondInTurn("/large", {Busy(503)});
    site_.serve("/large", "a large archive");
    auto refusePages = [](Fetched& fetched) {
        if (!fetched.body.empty() && fetched.body.front() == '<') fetched.outcome.reason = Gbk("服务器返回网页");
        if (!fetched.outcome.reason.empty()) fetched.outcome.whole = false;
    };
    auto request = [&](const char* path, std::uint32_t turn) {
        Request r{site_.url(path), turn, 2};
        r.judge = refusePages;
        r.keepAt = run.gbkPath() + "\\" + Text(path + 1) + ".rar";
        r.durable = true;
        return r;
    };
    Request large = request("/large", 4);
    large.streamed = true; // into its file as it comes: the busy page before it stays out of it
    const std::vector<Request> ahead = {request("/good", 1), request("/page", 2), large, request("/left", 5)};
    Pacer pacer({0ms, 4}, clock_);
    {
        Prefetcher prefetcher({4, std::size_t{64} << 20}, pacer, nullptr);
        HttpClient http(pacer, &prefetcher);
        prefetcher.Enqueue(ahead);
        const Fetched good = http.Fetch(ahead[0]);
        ASSERT_TRUE(good.kept);
        EXPECT_EQ(good.kept->Commit(), 0);
        EXPECT_EQ(test::FileContent(run.path() / "good.rar"), "a good archive");
        const Fetched page = http.Fetch(ahead[1]);
        EXPECT_FALSE(page.outcome.Good());
        EXPECT_FALSE(page.kept) << "a refused body is not written";
        const Fetched streamed = http.Fetch(ahead[2]);
        ASSERT_TRUE(streamed.kept);
        EXPECT_EQ(streamed.kept->Commit(), 0);
        EXPECT_EQ(test::FileContent(run.path() / "large.rar"), "a large archive");
    } // the last was never taken
    EXPECT_EQ(test::Names(run.path()), (std::vector<std::string>{"good.rar", "large.rar"})) << "nothing else is left";
}

// A busy site: every request waits out the pause it asks for (seconds, or 2 s when it names none), the request is
// asked again, the gap between request starts doubles once per pause and narrows again after good answers, and the
// connections come back one by one.
TEST_F(PacerTest, ABusySiteIsWaitedForAndTrustedAgainSlowly) {
    site_.respondInTurn("/storm", {Busy(429, "3"), Busy(503), Busy(429, "120")});
    site_.serve("/storm", "calm");
    site_.serve("/ok", "fine");
    site_.respond("/gone", SiteResponse::Page("missing", 404));
    PacerSettings settings;
    settings.connections = 4;
    Pacer pacer(settings, clock_);
    Watched watched;
    watched.Watch(pacer);

    const Fetched storm = pacer.Fetch(site_.url("/storm"), 1);
    EXPECT_TRUE(storm.outcome.Good());
    EXPECT_EQ(Requests("/storm"), 4) << "asked again after each of the three refusals";
    const auto pauses = watched.Of(Pacer::Event::Kind::Pause);
    ASSERT_EQ(pauses.size(), 3u);
    EXPECT_EQ(pauses[0].pause, 3s);
    EXPECT_EQ(pauses[1].pause, 2s) << "no Retry-After: two seconds";
    EXPECT_EQ(pauses[2].pause, 60s) << "never more than a minute";
    EXPECT_EQ(pacer.Gap(), 1000ms) << "250 ms, doubled by each later pause";
    EXPECT_EQ(pacer.Connections(), 1);
    watched.ExpectNoStartInsideAPause();

    // Good answers (a 404 is one too) narrow the gap, 20 at a time, until it is gone; then connections come back.
    auto twentyGood = [&] {
        for (int i = 0; i < 20; ++i)
            pacer.Fetch(site_.url(i % 2 ? "/ok" : "/gone"), 0);
    };
    const std::vector<std::pair<std::chrono::milliseconds, int>> after20 = {
        {500ms, 1}, {250ms, 1}, {0ms, 1}, {0ms, 2}, {0ms, 3}};
    for (const auto& [gap, connections] : after20) {
        twentyGood();
        EXPECT_EQ(pacer.Gap(), gap);
        EXPECT_EQ(pacer.Connections(), connections);
    }
    // While the gap of a second held (until the 19th good answer after the storm), request starts kept it.
    const auto starts = watched.Of(Pacer::Event::Kind::Start);
    for (std::size_t i = 4; i <= 22; ++i)
        EXPECT_GE(starts[i].at - starts[i - 1].at, 1000ms) << i;

    // Refused again before it was trusted again: twice the last pause's gap, on one connection.
    site_.respondInTurn("/again", {Busy(429)});
    site_.serve("/again", "ok");
    pacer.Fetch(site_.url("/again"), 0);
    EXPECT_EQ(pacer.Gap(), 2000ms);
    EXPECT_EQ(pacer.Connections(), 1);
    // Once every connection is back and the site stays at ease, a new refusal starts from the first gap again.
    for (int batch = 0; batch < 3 + 1 + 3 + 1; ++batch)
        twentyGood();
    EXPECT_EQ(pacer.Gap(), 0ms);
    EXPECT_EQ(pacer.Connections(), 4);
    site_.respondInTurn("/later", {Busy(429)});
    site_.serve("/later", "ok");
    pacer.Fetch(site_.url("/later"), 0);
    EXPECT_EQ(pacer.Gap(), 250ms);
}

// Retry-After in seconds or as an HTTP date; two seconds when it is missing or unreadable; never over a minute.
TEST_F(PacerTest, RetryAfterIsSecondsOrADate) {
    char date[64];
    const std::time_t later = std::time(nullptr) + 30;
    std::tm utc{};
    gmtime_r(&later, &utc);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    const struct {
        std::string header;
        std::chrono::milliseconds least, most;
    } cases[] = {{"5", 5s, 5s}, {date, 28s, 30s}, {"", 2s, 2s}, {"soon", 2s, 2s}, {"600", 60s, 60s}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string target = "/ra" + std::to_string(n++);
        site_.respondInTurn(target, {Busy(429, c.header)});
        site_.serve(target, "ok");
        Pacer pacer({0ms, 1}, clock_);
        Watched watched;
        watched.Watch(pacer);
        EXPECT_TRUE(pacer.Fetch(site_.url(target), 1).outcome.Good()) << c.header;
        const auto pauses = watched.Of(Pacer::Event::Kind::Pause);
        ASSERT_EQ(pauses.size(), 1u) << c.header;
        EXPECT_GE(pauses[0].pause, c.least) << c.header;
        EXPECT_LE(pauses[0].pause, c.most) << c.header;
    }
}

// The answers of requests already under way when a pause began widen the gap once, and never shorten the pause.
TEST_F(PacerTest, ABurstOfRefusalsIsOnePause) {
    for (int i = 0; i < 4; ++i)
        site_.respondInTurn("/b" + std::to_string(i), {Busy(429, i == 0 ? "10" : "1")});
    for (int i = 0; i < 4; ++i)
        site_.serve("/b" + std::to_string(i), "ok");
    PacerSettings settings;
    settings.connections = 4;
    Pacer pacer(settings, SteadyClock());
    Watched watched;
    watched.Watch(pacer);
    std::atomic<bool> stop{false};
    FetchControl control;
    control.stop = &stop;
    // Four requests in flight at once, each refused.
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] { pacer.Fetch(site_.url("/b" + std::to_string(i)), 0, control); });
    // Once the 10-second refusal is in (last or not), the pause is the longest asked for.
    const auto tenSecondPause = [&] {
        const auto pauses = watched.Of(Pacer::Event::Kind::Pause);
        return std::any_of(pauses.begin(), pauses.end(), [](const Pacer::Event& e) { return e.pause == 10s; });
    };
    while (!tenSecondPause())
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(pacer.Gap(), 250ms) << "one burst, one doubling";
    EXPECT_EQ(pacer.Connections(), 1);
    stop = true;
    pacer.Wake();
    for (auto& t : threads)
        t.join();
}

// Requests a busy site keeps turning away fail after three more tries with 服务器繁忙; five requests in a row that the
// site cannot answer end the run: nothing more is asked.
TEST_F(PacerTest, RetriesAreBoundedAndAGoneSiteEndsTheRun) {
    site_.respond("/busy", Busy(429));
    const Fetched busy = Pacer({0ms, 4}, clock_).Fetch(site_.url("/busy"), 1);
    EXPECT_FALSE(busy.outcome.Good());
    EXPECT_EQ(busy.outcome.reason, Gbk("服务器繁忙"));
    EXPECT_EQ(Requests("/busy"), 4);

    site_.respond("/broken", SiteResponse::Page("oops", 500));
    site_.serve("/fine", "fine");
    Pacer pacer({0ms, 4}, clock_);
    for (int i = 0; i < 4; ++i)
        pacer.Fetch(site_.url("/broken"), 0);
    pacer.Fetch(site_.url("/fine"), 0); // a good answer in between starts the count again
    for (int i = 0; i < 4; ++i)
        pacer.Fetch(site_.url("/broken"), 0);
    EXPECT_FALSE(pacer.SiteGone());
    const Fetched fifth = pacer.Fetch(site_.url("/broken"), 0);
    EXPECT_EQ(fifth.outcome.status, 500);
    EXPECT_TRUE(pacer.SiteGone());
    const Fetched after = pacer.Fetch(site_.url("/fine"), 0);
    EXPECT_EQ(after.outcome.reason, Gbk("已停止"));
    EXPECT_EQ(Requests("/broken"), 9);
    EXPECT_EQ(Requests("/fine"), 1) << "nothing is asked of a site given up for gone";
}

// A refused connection before the site ever answered is the answer (no site there); once it has answered, a refused
// connection is a site in trouble, waited for and asked again.
TEST_F(PacerTest, ARefusedConnectionIsRetriedOnlyOnceTheSiteHasAnswered) {
    std::string refusedUrl;
    {
        LocalSite gone;
        refusedUrl = gone.url("/x");
    } // nothing listens there now
    site_.serve("/ok", "ok");
    Pacer pacer({0ms, 2}, clock_);
    Watched watched;
    watched.Watch(pacer);
    EXPECT_EQ(pacer.Fetch(refusedUrl, 1).outcome.fault, ConnectionFault::Refused);
    EXPECT_TRUE(watched.Of(Pacer::Event::Kind::Pause).empty()) << "the first request is not asked again";
    EXPECT_TRUE(pacer.Fetch(site_.url("/ok"), 2).outcome.Good());
    EXPECT_EQ(pacer.Fetch(refusedUrl, 3).outcome.fault, ConnectionFault::Refused);
    EXPECT_EQ(watched.Of(Pacer::Event::Kind::Pause).size(), 4u) << "each refusal pauses the run";
    EXPECT_EQ(watched.Of(Pacer::Event::Kind::Start).size(), 1u + 1u + 4u);
}

// Turns are taken in order: a later book waits for an earlier one, until that one is taken or passed.
TEST_F(PacerTest, ATurnWaitsForTheTurnsBeforeIt) {
    site_.serve("/a", "a");
    Pacer pacer({100ms, 4}, clock_);
    std::atomic<bool> third{false};
    std::thread later([&] {
        pacer.Fetch(site_.url("/a"), 3);
        third = true;
    });
    pacer.Fetch(site_.url("/a"), 1);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(third) << "turn 3 went before turn 2";
    pacer.Pass(2);
    later.join();
    EXPECT_TRUE(third);

    // With a delay of a millisecond or none the order paces nothing: a book fetched ahead goes while list pages are
    // still to come.
    for (const auto delay : {0ms, 1ms}) {
        Pacer unpaced({delay, 4}, clock_);
        EXPECT_TRUE(unpaced.Fetch(site_.url("/a"), 3).outcome.Good());
        EXPECT_TRUE(unpaced.Fetch(site_.url("/a"), 1).outcome.Good());
    }
}

// A stop ends a pause at once: a site that asks for a minute does not hold a user who wants to stop.
TEST_F(PacerTest, AStopEndsAPause) {
    site_.respond("/busy", Busy(503, "60"));
    Pacer pacer({0ms, 1}, SteadyClock());
    std::atomic<bool> stop{false};
    FetchControl control;
    control.stop = &stop;
    std::thread user([&] {
        while (pacer.PauseLeft() == 0ms)
            std::this_thread::sleep_for(5ms);
        stop = true;
        pacer.Wake();
    });
    const auto start = std::chrono::steady_clock::now();
    const Fetched got = pacer.Fetch(site_.url("/busy"), 1, control);
    user.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 50s);
    EXPECT_EQ(got.outcome.reason, Gbk("已停止"));
    EXPECT_EQ(Requests("/busy"), 1);
}

} // namespace
