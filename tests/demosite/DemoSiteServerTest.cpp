// SPDX-License-Identifier: MIT
// The real paveno-demo-site program over real sockets: what a client receives of a whole, a cut and a dripping
// archive, its answers to conditional requests and its log of them, that dripping connections do not hold other
// requests back, and that a stop ends it while one drips.
#include "tools/demosite/DemoCatalogue.h"

#include "tests/support/TempRunDirectory.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace paveno::demo;

namespace {

#ifdef PAVENO_DEMO_SITE

// A limit for every wait, so that a site that hangs fails the test instead of holding it.
constexpr int kPatienceSeconds = 20;

class SiteProcess {
public:
    explicit SiteProcess(std::vector<std::string> args) {
        args.insert(args.begin(), {PAVENO_DEMO_SITE, "--port", "0"});
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        std::unique_ptr<FILE, int (*)(FILE*)> lines(fdopen(out[0], "r"), fclose);
        char line[200] = {};
        if (lines && std::fgets(line, sizeof line, lines.get())) {
            const std::string text = line;
            if (const auto colon = text.rfind(':'); colon != std::string::npos)
                port_ = std::stoi(text.substr(colon + 1));
        }
    }
    ~SiteProcess() {
        if (pid_ > 0 && !exitStatus_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

    // The exit status after SIGTERM, or nullopt when the program is still running after the patience runs out.
    std::optional<int> terminate() {
        kill(pid_, SIGTERM);
        for (int i = 0; i < kPatienceSeconds * 100 && !exitStatus_; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                usleep(10000);
        }
        return exitStatus_;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::optional<int> exitStatus_;
};

// One HTTP/1.0 request on a connection of its own, as the program sends them.
class Exchange {
public:
    // `headers`: more header lines, each ending in CR LF.
    Exchange(int port, const std::string& path, const std::string& headers = "")
        : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        timeval patience{kPatienceSeconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: www.nv.example\r\n" + headers + "\r\n";
        connected_ = send(fd_, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    }
    ~Exchange() { close(fd_); }

    // Reads until the head and at least `bodyBytes` of the body arrived, or the connection ended (false).
    bool readAtLeast(std::size_t bodyBytes) {
        while (!connected_ || !headEnd() || received_.size() - *headEnd() < bodyBytes) {
            char buffer[65536];
            const ssize_t n = connected_ ? recv(fd_, buffer, sizeof buffer, 0) : -1;
            if (n <= 0) {
                ended_ = n == 0;
                return false;
            }
            received_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    // Reads up to the end of the connection; true when the server closed it (not a time-out).
    bool readAll() {
        readAtLeast(SIZE_MAX);
        return ended_;
    }

    std::string statusLine() const { return received_.substr(0, received_.find("\r\n")); }
    std::string head() const { return headEnd() ? received_.substr(0, *headEnd()) : ""; }
    std::string body() const { return headEnd() ? received_.substr(*headEnd()) : ""; }
    // A header's value as received; empty when it is not there.
    std::string header(const std::string& name) const {
        const std::string head = this->head();
        const auto at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) return "";
        const auto from = at + name.size() + 4;
        return head.substr(from, head.find("\r\n", from) - from);
    }

private:
    std::optional<std::size_t> headEnd() const {
        const auto at = received_.find("\r\n\r\n");
        return at == std::string::npos ? std::nullopt : std::optional<std::size_t>(at + 4);
    }

    int fd_;
    bool connected_ = false;
    bool ended_ = false;
    std::string received_;
};

std::string Bytes(const paveno::ByteSet& bytes) {
    return {bytes.begin(), bytes.end()};
}

TEST(DemoSiteServer, SendsWholeCutAndMissingArchivesAsTheCatalogueDecides) {
    const DemoCatalogue catalogue({.archiveBytes = 30000, .failArchives = 3, .cutArchives = 2});
    SiteProcess site({"--archive-bytes", "30000", "--fail-archives", "3", "--cut-archives", "2", "--latency-ms", "5",
                      "--rate-kbps", "3000"});
    ASSERT_GT(site.port(), 0);
    struct Case {
        int place; // in the category's list, from 1
        std::string status;
        std::size_t received;
    };
    const Case cases[] = {{1, "200", 30000}, {2, "200", 12000}, {3, "404", 0}, {5, "200", 30000}};
    for (const auto& c : cases) {
        const int serial = catalogue.BookAt(0, c.place - 1).serial;
        Exchange exchange(site.port(), "/down/2011/" + std::to_string(serial) + ".rar");
        ASSERT_TRUE(exchange.readAll()) << "book " << c.place << " did not end";
        EXPECT_NE(exchange.statusLine().find(" " + c.status + " "), std::string::npos) << exchange.statusLine();
        const std::string body = exchange.body();
        if (c.status == "404") {
            EXPECT_EQ(body, Bytes(ErrorPage(404).body));
            continue;
        }
        // A cut archive still announces its whole length: only the count of bytes tells the client it is short.
        EXPECT_NE(exchange.head().find("Content-Length: 30000\r\n"), std::string::npos) << exchange.head();
        EXPECT_EQ(body.size(), c.received) << "book " << c.place;
        EXPECT_EQ(body, Bytes(catalogue.Archive(serial)).substr(0, c.received)) << "book " << c.place;
    }
    EXPECT_EQ(site.terminate(), 0);
}

std::string ArchivePath(int serial) {
    return "/down/2011/" + std::to_string(serial) + ".rar";
}

// Over the wire: a 304 carries the validators and no body, a change comes in its own time, and the request log
// gives what each answer sent and when it ended, as a bench counts the bytes and the busy time of a run from it.
TEST(DemoSiteServer, AnswersConditionalRequestsAndLogsTheBodyBytesSent) {
    const DemoCatalogue catalogue({.archiveBytes = 30000});
    const paveno::test::TempRunDirectory folder;
    const std::string log = (folder.path() / "requests.log").string();
    SiteProcess site({"--archive-bytes", "30000", "--cut-archives", "3", "--change-archives", "2", "--change-after-ms",
                      "300", "--log-requests", log});
    ASSERT_GT(site.port(), 0);
    const std::string whole = ArchivePath(catalogue.BookAt(0, 0).serial);

    Exchange first(site.port(), whole);
    ASSERT_TRUE(first.readAll());
    EXPECT_EQ(first.body(), Bytes(catalogue.Archive(catalogue.BookAt(0, 0).serial)));
    const std::string tag = first.header("ETag"), modified = first.header("Last-Modified");
    ASSERT_FALSE(tag.empty()) << first.head();
    ASSERT_TRUE(ParseHttpDate(modified).has_value()) << first.head();
    for (const std::string& condition : {"If-None-Match: " + tag, "If-Modified-Since: " + modified}) {
        Exchange again(site.port(), whole, condition + "\r\n");
        ASSERT_TRUE(again.readAll()) << condition;
        EXPECT_NE(again.statusLine().find(" 304 "), std::string::npos) << again.statusLine();
        EXPECT_EQ(again.body(), "") << condition;
        EXPECT_EQ(again.header("ETag"), tag) << condition;
        EXPECT_EQ(again.header("Content-Length"), "30000") << "a 304 may only announce the whole length";
    }
    Exchange cut(site.port(), ArchivePath(catalogue.BookAt(0, 2).serial));
    ASSERT_TRUE(cut.readAll());
    EXPECT_EQ(cut.body().size(), 12000u);

    // The second book's archive changes 300 ms after the start: it is asked for until it has.
    const int serial = catalogue.BookAt(0, 1).serial;
    std::string body;
    for (int i = 0; i < kPatienceSeconds * 10; ++i) {
        Exchange changing(site.port(), ArchivePath(serial), "If-None-Match: \"" + std::to_string(serial) + "-1\"\r\n");
        ASSERT_TRUE(changing.readAll());
        body = changing.body();
        if (!body.empty()) break;
        usleep(100000);
    }
    EXPECT_EQ(body, Bytes(catalogue.Archive(serial, 2)));

    EXPECT_EQ(site.terminate(), 0);
    std::ifstream lines(log);
    std::vector<std::string> entries; // path, status and bytes of each line
    long long start = 0, end = 0;
    std::string path, status, bytes;
    while (lines >> start >> path >> status >> bytes >> end) {
        entries.push_back(path + " " + status + " " + bytes);
        EXPECT_LE(start, end) << path << " ends before it starts";
    }
    ASSERT_GE(entries.size(), 5u);
    EXPECT_EQ(entries[0], whole + " 200 30000");
    EXPECT_EQ(entries[1], whole + " 304 0");
    EXPECT_EQ(entries[2], whole + " 304 0");
    EXPECT_EQ(entries[3], ArchivePath(catalogue.BookAt(0, 2).serial) + " 200 12000");
    EXPECT_EQ(entries.back(), ArchivePath(serial) + " 200 30000");
}

// A site of today sends no validators and ignores the conditions.
TEST(DemoSiteServer, WithoutValidatorsEveryRequestGetsTheWholeArchive) {
    const DemoCatalogue catalogue({.archiveBytes = 30000});
    SiteProcess site({"--archive-bytes", "30000", "--no-validators"});
    ASSERT_GT(site.port(), 0);
    const int serial = catalogue.BookAt(5, 0).serial;
    Exchange exchange(site.port(), ArchivePath(serial),
                      "If-None-Match: *\r\nIf-Modified-Since: " + HttpDate(4000000000) + "\r\n");
    ASSERT_TRUE(exchange.readAll());
    EXPECT_NE(exchange.statusLine().find(" 200 "), std::string::npos) << exchange.statusLine();
    EXPECT_EQ(exchange.body(), Bytes(catalogue.Archive(serial)));
    EXPECT_EQ(exchange.header("ETag"), "");
    EXPECT_EQ(exchange.header("Last-Modified"), "");
    EXPECT_EQ(site.terminate(), 0);
}

TEST(DemoSiteServer, DrippingConnectionsHoldNothingBackAndAStopEndsThem) {
    const DemoCatalogue catalogue({.dripArchives = 1});
    SiteProcess site({"--drip-archives", "1"});
    ASSERT_GT(site.port(), 0);

    std::vector<std::unique_ptr<Exchange>> drips;
    for (int i = 0; i < 40; ++i) {
        drips.push_back(std::make_unique<Exchange>(
            site.port(), "/down/2011/" + std::to_string(catalogue.BookAt(1, i).serial) + ".rar"));
    }
    for (auto& drip : drips)
        ASSERT_TRUE(drip->readAtLeast(1)) << "a dripping archive sent no first byte";

    Exchange page(site.port(), "/wanben/xh/tuijian1.html");
    ASSERT_TRUE(page.readAll());
    EXPECT_EQ(page.body(), Bytes(catalogue.Answer("/wanben/xh/tuijian1.html").body));

    EXPECT_EQ(site.terminate(), 0);
    for (auto& drip : drips) {
        EXPECT_TRUE(drip->readAll()) << "a dripping connection outlived the server";
        EXPECT_LT(drip->body().size(), catalogue.Archive(0).size());
    }
}

#endif

} // namespace
