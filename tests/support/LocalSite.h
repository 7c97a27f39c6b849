// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace paveno::test {

// A gate that holds back the answers given to it until the test opens it, so that a test can make the site answer
// after something else has happened rather than after some time. Once open it stays open.
class SiteGate {
public:
    SiteGate();
    ~SiteGate();
    SiteGate(const SiteGate&) = delete;
    SiteGate& operator=(const SiteGate&) = delete;
    void Open();
    bool WaitOpen(std::chrono::milliseconds limit) const; // false when the limit passed first
    int fd() const { return fd_; }                        // readable once open

private:
    int fd_ = -1;
};

// What the site answers at one address. The factories below make the usual answers and the faults.
struct SiteResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers; // sent after the status line, in order
    std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
    bool sendContentLength = true;             // false: the body ends when the connection closes
    std::optional<std::size_t> declaredLength; // Content-Length to announce instead of the body's size
    std::optional<std::size_t> closeAfter;     // send this many body bytes, then close the connection
    std::optional<std::size_t> stallAfter;     // send this many body bytes, then go silent until the client leaves
    std::shared_ptr<SiteGate> heldBy;          // the request is recorded at once, the answer waits for the gate
    bool silent = false;                       // read the request and never answer
    std::optional<int> dripMs;                 // send the body one byte at a time, one every this many ms

    static SiteResponse Page(std::string_view bytes, int status = 200);
    static SiteResponse Shared(std::shared_ptr<const std::string> bytes);
    static SiteResponse WithoutLength(std::string_view bytes);
    // Announces `bytes.size()` bytes and sends only the first `sent` of them before closing.
    static SiteResponse CutAfter(std::string_view bytes, std::size_t sent);
    // Announces `bytes.size()` bytes, sends the first `sent` and then nothing more.
    static SiteResponse StallAfter(std::string_view bytes, std::size_t sent);
    // Sends the body one byte every `everyMs` milliseconds: a server too slow to finish, though never silent.
    static SiteResponse Drip(std::string_view bytes, int everyMs);
    static SiteResponse Redirect(std::string_view location, int status = 302);
    // Answers `bytes` once `gate` is open (or never, when the site stops first).
    static SiteResponse HeldBy(std::shared_ptr<SiteGate> gate, std::string_view bytes);
    static SiteResponse Silent();
};

// One request as it arrived.
struct SiteRequest {
    std::string head;        // every byte up to and including the empty line
    std::string requestLine; // the first line without its CRLF, bytes as sent
    std::string method;
    std::string target; // as sent: a path, or a whole URL when the client spoke to a proxy
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers; // in order, values without surrounding spaces
    std::chrono::steady_clock::time_point arrived;            // when its head was read

    // The first header of this name (any case), or nullopt.
    std::optional<std::string> header(std::string_view name) const;
    // How many headers of this name (any case) were sent.
    std::size_t headerCount(std::string_view name) const;
};

// An HTTP server on 127.0.0.1 with a port of its own, run on threads of the test process. It answers every request
// on a connection of its own (and closes it), records what it received, and stops cleanly when destroyed: every
// connection still open, a silent one too, is closed and every thread joined.
class LocalSite {
public:
    LocalSite();
    ~LocalSite();
    LocalSite(const LocalSite&) = delete;
    LocalSite& operator=(const LocalSite&) = delete;

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:PORT" followed by `pathAndQuery`.
    std::string url(std::string_view pathAndQuery) const;
    // The connection mapping that sends HOST:PORT to this site, for SetConnectTo or PAVENO_CONNECT_TO.
    std::string connectTo(std::string_view host, std::uint16_t hostPort = 80) const;

    // Answers at `target` (path with query, exactly as requested). With a host, only requests whose Host header (or
    // absolute target) names that host match; an address served without a host matches any host. Other targets get
    // a 404 page.
    void serve(std::string_view target, std::string_view bytes, std::string_view host = {});
    void respond(std::string_view target, SiteResponse response, std::string_view host = {});
    // Answers the requests at `target` with `responses` in turn; once they are used up, as before (see respond).
    void respondInTurn(std::string_view target, std::vector<SiteResponse> responses);
    // Opens `gate` as soon as a request for `target` arrives: an answer held by it waits for that request.
    void openOnRequest(std::string_view target, std::shared_ptr<SiteGate> gate);

    std::vector<SiteRequest> requests() const;
    // Connections the site is still serving (a client that left ends its connection soon after).
    int openConnections() const { return open_; }
    void clearRequests();

private:
    struct Connection;
    void acceptLoop();
    void handle(int fd);
    SiteResponse responseFor(const SiteRequest& request);
    void reapFinished();

    int listenFd_ = -1;
    int stopFd_ = -1; // an eventfd: once written, every wait of every thread ends
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, SiteResponse> routes_; // (lower-case host or "", target)
    std::map<std::string, std::deque<SiteResponse>> inTurn_;             // by target, for any host
    std::vector<SiteRequest> requests_;
    std::multimap<std::string, std::shared_ptr<SiteGate>> openedBy_; // by target, for any host
    std::vector<std::unique_ptr<Connection>> connections_;
    std::thread acceptor_;
    std::atomic<int> open_{0};
};

// A port that never answers a connection attempt, as a host that is down: its listen queue is full and the system
// drops every further SYN. For connect time-outs.
class UnansweredPort {
public:
    UnansweredPort();
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;
    std::uint16_t port() const { return port_; }

private:
    int listenFd_ = -1;
    std::vector<int> fillers_;
    std::uint16_t port_ = 0;
};

// Removes the proxy variables from the environment for the life of the object and puts them back afterwards, so that
// a developer's proxy never sees the tests' requests.
class NoProxyEnvironment {
public:
    NoProxyEnvironment();
    ~NoProxyEnvironment();
    NoProxyEnvironment(const NoProxyEnvironment&) = delete;
    NoProxyEnvironment& operator=(const NoProxyEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace paveno::test
