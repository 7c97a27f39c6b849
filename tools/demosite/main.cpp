// SPDX-License-Identifier: MIT
// paveno-demo-site: serves the whole demo catalogue on 127.0.0.1 for the demo and the end-to-end runs, and on request
// behaves like a distant or a broken site.
#include "tools/demosite/DemoCatalogue.h"

#include <httplib.h>

#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void Usage() {
    std::fprintf(stderr,
                 "usage: paveno-demo-site --port P [--books-per-category N] [--archive-bytes N] [--cover-bytes N]\n"
                 "                        [--newer-version] [--lf] [--latency-ms N] [--rate-kbps N]\n"
                 "                        [--fail-archives K] [--cut-archives K] [--drip-archives K] [--fail-pages N]\n"
                 "                        [--max-rps R] [--log-requests FILE] [--placeholder-covers K]\n"
                 "                        [--change-archives K] [--change-after-ms T] [--no-validators]\n"
                 "  --port 0 picks a free port and prints it.\n"
                 "  --archive-bytes N  size of every archive (default 320000: a rerun finds every book present)\n"
                 "  --latency-ms N     every response waits N ms before its first byte\n"
                 "  --rate-kbps N      every body is sent at most N kilobytes (1000 bytes) a second per connection\n"
                 "  --fail-archives K  the archive of every K-th book of a category (K-th, 2K-th, ...) is a 404 page\n"
                 "  --cut-archives K   ... announces its whole length, sends 40%% of it and closes the connection\n"
                 "  --drip-archives K  ... is sent one byte every 500 ms\n"
                 "  --fail-pages N     list pages numbered N and above answer 500 (1: the site is broken)\n"
                 "  --placeholder-covers K  every K-th book shows one small placeholder picture, nopic.jpg\n"
                 "  --max-rps R        beyond R request starts in any second, answer 429 with Retry-After: 2\n"
                 "  --log-requests F   append a line per request to F as its answer ends: start time in ms, path,\n"
                 "                     status, body bytes sent, end time in ms\n"
                 "  A book picked by several takes the first of fail, cut, drip.\n"
                 "  Archives carry an ETag and a Last-Modified; a request whose If-None-Match names the ETag, or\n"
                 "  without one whose If-Modified-Since is not before the Last-Modified, gets 304 and no body.\n"
                 "  --change-archives K   the archive of every K-th book of a category changes: new bytes, ETag and\n"
                 "                        Last-Modified\n"
                 "  --change-after-ms T   ... T ms after the site started (default 0: from the start)\n"
                 "  --no-validators       archives carry neither and every request gets the whole archive\n");
    std::exit(2);
}

struct Pacing {
    std::chrono::milliseconds latency{0};
    long long bytesPerSecond = 0; // 0: as fast as the connection takes it
};

constexpr auto kDripInterval = 500ms;
constexpr std::size_t kWholeChunk = 64 * 1024;

// The end of the program: every wait below ends at once when it comes, so a dripping connection does not hold the
// stop back.
class Stop {
public:
    void request() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    // Waits until `deadline`; false when the program is stopping.
    bool waitUntil(Clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return !changed_.wait_until(lock, deadline, [&] { return stopped_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;
};

Stop g_stop;

// What a site that limits its callers does: beyond `perSecond` request starts within any second, a 429 asking the
// caller to come back in 2 seconds. Refused requests do not count against the caller's allowance.
class RateLimit {
public:
    explicit RateLimit(long long perSecond) : perSecond_(perSecond) {}
    bool Admit(Clock::time_point now) {
        if (perSecond_ <= 0) return true;
        std::lock_guard lock(mutex_);
        while (!starts_.empty() && now - starts_.front() >= 1s)
            starts_.pop_front();
        if (static_cast<long long>(starts_.size()) >= perSecond_) return false;
        starts_.push_back(now);
        return true;
    }

private:
    const long long perSecond_;
    std::mutex mutex_;
    std::deque<Clock::time_point> starts_;
};

// A line per request as its answer ends, for whoever wants to see what the site saw:
// "<start in ms since the site started> <path> <status> <body bytes sent>".
class RequestLog {
public:
    RequestLog(const std::string& path, Clock::time_point begin)
        : file_(path.empty() ? nullptr : std::fopen(path.c_str(), "a")), begin_(begin) {}
    ~RequestLog() {
        if (file_) std::fclose(file_);
    }
    bool Usable(const std::string& path) const { return path.empty() || file_; }
    void Add(Clock::time_point start, const std::string& path, int status, std::size_t bytes) {
        if (!file_) return;
        std::lock_guard lock(mutex_);
        const auto ms = [this](Clock::time_point at) {
            return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(at - begin_).count());
        };
        // The answer ends now: with its start, a bench tells the time a run kept the site busy from the time its
        // program took to start and to end.
        std::fprintf(file_, "%lld %s %d %zu %lld\n", ms(start), path.c_str(), status, bytes, ms(Clock::now()));
        std::fflush(file_);
    }

private:
    std::FILE* file_;
    const Clock::time_point begin_;
    std::mutex mutex_;
};

// Sends one body as `answer.delivery` says, paced by the rate limit: each chunk is sent once the time it costs at
// that rate has passed since the first byte, so a late wake-up is made up on the next chunk. `sent` counts the bytes
// handed to the connection.
httplib::ContentProvider Sender(std::shared_ptr<const paveno::demo::Response> answer, const Pacing& pacing,
                                std::shared_ptr<std::size_t> sent) {
    return [answer, pacing, sent, start = std::make_shared<Clock::time_point>()](size_t offset, size_t,
                                                                                 httplib::DataSink& sink) {
        const auto& body = answer->body;
        const std::size_t end =
            answer->delivery == paveno::demo::Delivery::Cut ? std::min(answer->sentBytes, body.size()) : body.size();
        if (offset >= end) return false; // a cut body: the connection closes short of its Content-Length
        if (offset == 0) *start = Clock::now();

        std::size_t chunk = std::min(end - offset, kWholeChunk);
        Clock::time_point due = Clock::now();
        if (answer->delivery == paveno::demo::Delivery::Drip) {
            chunk = 1;
            due = *start + static_cast<long long>(offset) * kDripInterval;
        } else if (pacing.bytesPerSecond > 0) {
            chunk = std::min<std::size_t>(chunk, std::max<long long>(1, pacing.bytesPerSecond / 100)); // 10 ms each
            due = *start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                               static_cast<double>(offset + chunk) / pacing.bytesPerSecond));
        }
        if (!g_stop.waitUntil(due)) return false;
        if (!sink.write(reinterpret_cast<const char*>(body.data()) + offset, chunk)) return false;
        *sent += chunk;
        return true;
    };
}

} // namespace

int main(int argc, char** argv) {
    paveno::demo::CatalogueOptions options;
    Pacing pacing;
    int port = -1;
    long long maxRps = 0;
    std::string logPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&]() -> long long {
            if (i + 1 >= argc) Usage();
            char* end = nullptr;
            const long long v = std::strtoll(argv[++i], &end, 10);
            if (*end != '\0' || v < 0 || v > 1'000'000'000) Usage();
            return v;
        };
        if (arg == "--port")
            port = static_cast<int>(number());
        else if (arg == "--books-per-category")
            options.booksPerCategory = static_cast<int>(number());
        else if (arg == "--archive-bytes")
            options.archiveBytes = static_cast<std::size_t>(number());
        else if (arg == "--cover-bytes")
            options.coverBytes = static_cast<std::size_t>(number());
        else if (arg == "--newer-version")
            options.newerVersion = true;
        else if (arg == "--lf")
            options.lineFeedsOnly = true;
        else if (arg == "--latency-ms")
            pacing.latency = std::chrono::milliseconds(number());
        else if (arg == "--rate-kbps")
            pacing.bytesPerSecond = number() * 1000;
        else if (arg == "--fail-archives")
            options.failArchives = static_cast<int>(number());
        else if (arg == "--cut-archives")
            options.cutArchives = static_cast<int>(number());
        else if (arg == "--drip-archives")
            options.dripArchives = static_cast<int>(number());
        else if (arg == "--fail-pages")
            options.failPagesFrom = static_cast<int>(number());
        else if (arg == "--placeholder-covers")
            options.placeholderCovers = static_cast<int>(number());
        else if (arg == "--max-rps")
            maxRps = number();
        else if (arg == "--change-archives")
            options.changeArchives = static_cast<int>(number());
        else if (arg == "--change-after-ms")
            options.changeAfterMs = number();
        else if (arg == "--no-validators")
            options.validators = false;
        else if (arg == "--log-requests" && i + 1 < argc)
            logPath = argv[++i];
        else
            Usage();
    }
    if (port < 0 || port > 65535) Usage();

    // SIGTERM and SIGINT are taken by one thread of their own (every other thread inherits the blocked mask), so the
    // stop runs outside a signal handler and can wake the waits.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const Clock::time_point begin = Clock::now();
    options.startedAt = static_cast<std::int64_t>(std::time(nullptr));
    const paveno::demo::DemoCatalogue catalogue(options);
    RateLimit limit(maxRps);
    RequestLog log(logPath, begin);
    if (!log.Usable(logPath)) {
        std::fprintf(stderr, "paveno-demo-site: cannot write %s\n", logPath.c_str());
        return 1;
    }
    httplib::Server server;
    // Slow and dripping answers each hold a thread for as long as they last.
    server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    // The library listens with a backlog of 5, so a burst of connections would lose SYNs and wait a second for each
    // retry; the listening socket is kept from its options call and its backlog raised once bound.
    int listening = -1;
    server.set_socket_options([&](socket_t socket) {
        httplib::default_socket_options(socket);
        if (listening < 0) listening = socket;
    });
    server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        const Clock::time_point start = Clock::now();
        if (!limit.Admit(start)) {
            const std::string refusal = "<html><body>429 Too Many Requests</body></html>";
            log.Add(start, request.path, 429, refusal.size());
            response.status = 429;
            response.set_header("Retry-After", "2");
            response.set_content(refusal, "text/html");
            return;
        }
        const paveno::demo::Request asked{request.path, request.get_header_value("If-None-Match"),
                                          request.get_header_value("If-Modified-Since"),
                                          std::chrono::duration_cast<std::chrono::milliseconds>(start - begin).count()};
        auto answer = std::make_shared<const paveno::demo::Response>(catalogue.Answer(asked));
        if (pacing.latency.count() > 0 && !g_stop.waitUntil(Clock::now() + pacing.latency)) {
            log.Add(start, request.path, answer->status, 0);
            return;
        }
        response.status = answer->status;
        for (const auto& [name, value] : answer->headers)
            response.set_header(name.c_str(), value);
        const std::size_t length = answer->body.size();
        if (answer->status == 304) { // no body and no length of one
            log.Add(start, request.path, 304, 0);
        } else if (length == 0) {
            response.set_content("", 0, answer->contentType.c_str());
            log.Add(start, request.path, answer->status, 0);
        } else {
            auto sent = std::make_shared<std::size_t>(0);
            response.set_content_provider(length, answer->contentType, Sender(answer, pacing, sent),
                                          [&log, start, path = request.path, status = answer->status, sent](bool) {
                                              log.Add(start, path, status, *sent);
                                          });
        }
    });

    if (port == 0)
        port = server.bind_to_any_port("127.0.0.1");
    else if (!server.bind_to_port("127.0.0.1", port))
        port = -1;
    if (port < 0) {
        std::fprintf(stderr, "paveno-demo-site: cannot listen on 127.0.0.1\n");
        return 1;
    }
    if (listening >= 0) ::listen(listening, SOMAXCONN);
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        g_stop.request();
        while (!server.is_running()) // a stop before the server runs would be lost
            std::this_thread::sleep_for(10ms);
        server.stop();
    });
    stopper.detach(); // it may still be waiting when the server ends another way; exit takes it down

    std::printf("paveno-demo-site listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);
    server.listen_after_bind();
    return 0;
}
