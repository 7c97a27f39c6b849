// SPDX-License-Identifier: MIT
#include "tests/support/LocalSite.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace paveno::test {

namespace {

constexpr std::size_t headLimit = 64 * 1024;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

std::string_view Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view{}
                                           : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int ListeningSocket(int backlog, std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        Fail("listen on 127.0.0.1");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// Waits until `fd` is ready for `events` or the site stops; false when it stops.
bool WaitFor(int fd, short events, int stopFd) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int n = poll(fds, 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (fds[1].revents & POLLIN)) return false;
        if (fds[0].revents) return true;
    }
}

bool SendAll(int fd, const char* data, std::size_t size, int stopFd) {
    while (size > 0) {
        if (!WaitFor(fd, POLLOUT, stopFd)) return false;
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Holds the connection open, reading and dropping whatever comes, until the client leaves or the site stops.
void StaySilent(int fd, int stopFd) {
    char scrap[4096];
    while (WaitFor(fd, POLLIN, stopFd)) {
        const ssize_t n = recv(fd, scrap, sizeof scrap, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
    }
}

std::optional<SiteRequest> ParseRequest(std::string head) {
    SiteRequest request;
    const auto lineEnd = head.find("\r\n");
    request.requestLine = head.substr(0, lineEnd);
    const auto firstSpace = request.requestLine.find(' ');
    const auto lastSpace = request.requestLine.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace) return std::nullopt;
    request.method = request.requestLine.substr(0, firstSpace);
    request.target = request.requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = request.requestLine.substr(lastSpace + 1);
    std::string_view rest = std::string_view(head).substr(lineEnd + 2);
    while (!rest.empty() && !rest.starts_with("\r\n")) {
        const auto end = rest.find("\r\n");
        const auto line = rest.substr(0, end);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            request.headers.emplace_back(std::string(line.substr(0, colon)),
                                         std::string(Trimmed(line.substr(colon + 1))));
        }
        rest.remove_prefix(end + 2);
    }
    request.head = std::move(head);
    return request;
}

// The host a request is for, lower case and without a port, and its path with query.
std::pair<std::string, std::string> RouteOf(const SiteRequest& request) {
    std::string host = request.header("Host").value_or("");
    std::string target = request.target;
    for (std::string_view scheme : {"http://", "https://"}) {
        if (Lowered(target.substr(0, scheme.size())) == scheme) {
            const auto pathStart = target.find_first_of("/?", scheme.size());
            host = target.substr(scheme.size(), pathStart - scheme.size());
            target = pathStart == std::string::npos ? "/" : target.substr(pathStart);
            if (target.starts_with('?')) target.insert(0, "/");
        }
    }
    if (host.starts_with('[')) {
        host = host.substr(0, host.find(']') + 1);
    } else if (const auto colon = host.rfind(':'); colon != std::string::npos) {
        host.erase(colon);
    }
    return {Lowered(host), target};
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

SiteResponse SiteResponse::Page(std::string_view bytes, int status) {
    SiteResponse r;
    r.status = status;
    r.body = std::make_shared<const std::string>(bytes);
    return r;
}

SiteResponse SiteResponse::Shared(std::shared_ptr<const std::string> bytes) {
    SiteResponse r;
    r.body = std::move(bytes);
    return r;
}

SiteResponse SiteResponse::WithoutLength(std::string_view bytes) {
    SiteResponse r = Page(bytes);
    r.sendContentLength = false;
    return r;
}

SiteResponse SiteResponse::CutAfter(std::string_view bytes, std::size_t sent) {
    SiteResponse r = Page(bytes);
    r.closeAfter = sent;
    return r;
}

SiteResponse SiteResponse::StallAfter(std::string_view bytes, std::size_t sent) {
    SiteResponse r = Page(bytes);
    r.stallAfter = sent;
    return r;
}

SiteResponse SiteResponse::Drip(std::string_view bytes, int everyMs) {
    SiteResponse r = Page(bytes);
    r.dripMs = everyMs;
    return r;
}

SiteResponse SiteResponse::Redirect(std::string_view location, int status) {
    SiteResponse r = Page("<html>moved</html>", status);
    r.headers.emplace_back("Location", std::string(location));
    return r;
}

SiteResponse SiteResponse::HeldBy(std::shared_ptr<SiteGate> gate, std::string_view bytes) {
    SiteResponse r = Page(bytes);
    r.heldBy = std::move(gate);
    return r;
}

SiteResponse SiteResponse::Silent() {
    SiteResponse r;
    r.silent = true;
    return r;
}

std::optional<std::string> SiteRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (Lowered(key) == Lowered(name)) return value;
    }
    return std::nullopt;
}

std::size_t SiteRequest::headerCount(std::string_view name) const {
    return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(),
                                                  [&](const auto& h) { return Lowered(h.first) == Lowered(name); }));
}

SiteGate::SiteGate() {
    fd_ = eventfd(0, EFD_CLOEXEC);
    if (fd_ < 0) Fail("eventfd");
}

SiteGate::~SiteGate() {
    close(fd_);
}

void SiteGate::Open() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(fd_, &one, sizeof one);
}

bool SiteGate::WaitOpen(std::chrono::milliseconds limit) const {
    pollfd open{fd_, POLLIN, 0};
    return poll(&open, 1, static_cast<int>(limit.count())) == 1;
}

struct LocalSite::Connection {
    std::thread thread;
    std::atomic<bool> done{false};
};

LocalSite::LocalSite() {
    listenFd_ = ListeningSocket(64, port_);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0) {
        close(listenFd_);
        Fail("eventfd");
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LocalSite::~LocalSite() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(stopFd_, &one, sizeof one);
    acceptor_.join();
    // The acceptor has ended, so no connection is added any more.
    for (auto& c : connections_)
        c->thread.join();
    close(listenFd_);
    close(stopFd_);
}

std::string LocalSite::url(std::string_view pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::string LocalSite::connectTo(std::string_view host, std::uint16_t hostPort) const {
    return std::string(host) + ":" + std::to_string(hostPort) + ":127.0.0.1:" + std::to_string(port_);
}

void LocalSite::serve(std::string_view target, std::string_view bytes, std::string_view host) {
    respond(target, SiteResponse::Page(bytes), host);
}

void LocalSite::respond(std::string_view target, SiteResponse response, std::string_view host) {
    std::lock_guard lock(mutex_);
    routes_.insert_or_assign({Lowered(host), std::string(target)}, std::move(response));
}

void LocalSite::respondInTurn(std::string_view target, std::vector<SiteResponse> responses) {
    std::lock_guard lock(mutex_);
    auto& queue = inTurn_[std::string(target)];
    queue.insert(queue.end(), std::make_move_iterator(responses.begin()), std::make_move_iterator(responses.end()));
}

void LocalSite::openOnRequest(std::string_view target, std::shared_ptr<SiteGate> gate) {
    std::lock_guard lock(mutex_);
    openedBy_.emplace(std::string(target), std::move(gate));
}

std::vector<SiteRequest> LocalSite::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LocalSite::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

SiteResponse LocalSite::responseFor(const SiteRequest& request) {
    const auto [host, target] = RouteOf(request);
    std::lock_guard lock(mutex_);
    if (auto it = inTurn_.find(target); it != inTurn_.end() && !it->second.empty()) {
        SiteResponse next = std::move(it->second.front());
        it->second.pop_front();
        return next;
    }
    if (auto it = routes_.find({host, target}); it != routes_.end()) return it->second;
    if (auto it = routes_.find({"", target}); it != routes_.end()) return it->second;
    return SiteResponse::Page("<html><body>404 Not Found</body></html>", 404);
}

void LocalSite::reapFinished() {
    std::erase_if(connections_, [](const std::unique_ptr<Connection>& c) {
        if (!c->done) return false;
        c->thread.join();
        return true;
    });
}

void LocalSite::acceptLoop() {
    while (WaitFor(listenFd_, POLLIN, stopFd_)) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        reapFinished();
        auto connection = std::make_unique<Connection>();
        Connection* raw = connection.get();
        ++open_;
        raw->thread = std::thread([this, fd, raw] {
            handle(fd);
            close(fd);
            --open_;
            raw->done = true;
        });
        connections_.push_back(std::move(connection));
    }
}

void LocalSite::handle(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > headLimit || !WaitFor(fd, POLLIN, stopFd_)) return;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        head.append(buffer, static_cast<std::size_t>(n));
        // What is not HTTP, such as a TLS handshake, gets the refusal of a plain server at once.
        if (head[0] < 'A' || head[0] > 'Z') {
            static constexpr std::string_view refusal = "HTTP/1.0 400 Bad Request\r\nConnection: close\r\n\r\n";
            SendAll(fd, refusal.data(), refusal.size(), stopFd_);
            return;
        }
    }
    head.erase(head.find("\r\n\r\n") + 4);
    auto request = ParseRequest(std::move(head));
    if (!request) return;
    request->arrived = std::chrono::steady_clock::now();
    const SiteResponse response = responseFor(*request);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(*request);
        const auto [first, last] = openedBy_.equal_range(request->target);
        for (auto it = first; it != last; ++it)
            it->second->Open();
    }

    if (response.silent) {
        StaySilent(fd, stopFd_);
        return;
    }
    if (response.heldBy && !WaitFor(response.heldBy->fd(), POLLIN, stopFd_)) return;
    const std::string& body = *response.body;
    std::string out = "HTTP/1.0 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    if (response.sendContentLength) {
        out += "Content-Length: " + std::to_string(response.declaredLength.value_or(body.size())) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    std::size_t sent = body.size();
    if (response.closeAfter) sent = std::min(sent, *response.closeAfter);
    if (response.stallAfter) sent = std::min(sent, *response.stallAfter);
    if (!SendAll(fd, out.data(), out.size(), stopFd_)) return;
    if (response.dripMs) {
        for (std::size_t i = 0; i < sent; ++i) {
            pollfd stop{stopFd_, POLLIN, 0};
            if (poll(&stop, 1, *response.dripMs) != 0 || !SendAll(fd, body.data() + i, 1, stopFd_)) return;
        }
        return;
    }
    if (!SendAll(fd, body.data(), sent, stopFd_)) return;
    if (response.stallAfter) StaySilent(fd, stopFd_);
}

UnansweredPort::UnansweredPort() {
    listenFd_ = ListeningSocket(0, port_);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port_);
    // A listen queue of length 0 still holds one connection; a few more make sure it is full.
    for (int i = 0; i < 3; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers_.push_back(fd);
    }
    if (!fillers_.empty()) {
        pollfd first{fillers_.front(), POLLOUT, 0};
        poll(&first, 1, 1000);
    }
}

UnansweredPort::~UnansweredPort() {
    for (int fd : fillers_)
        close(fd);
    close(listenFd_);
}

namespace {
constexpr const char* proxyVariables[] = {"http_proxy", "https_proxy", "all_proxy", "no_proxy",
                                          "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"};
}

NoProxyEnvironment::NoProxyEnvironment() {
    for (const char* name : proxyVariables) {
        const char* value = std::getenv(name);
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        unsetenv(name);
    }
}

NoProxyEnvironment::~NoProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

} // namespace paveno::test
