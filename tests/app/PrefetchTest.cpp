// SPDX-License-Identifier: MIT
// Fetching ahead changes when the files come, never what the user and the library see.
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "services/Files.h"
#include "services/WholeFile.h"
#include "tests/app/CollectionFixture.h"

#include <QTimer>
#include <QWidget>

#include <map>
#include <mutex>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

namespace {

class PrefetchTest : public CollectionTest {
protected:
    void TearDown() override {
        app::Collecting().reports = {};
        app::Collecting() = {};
        CollectionTest::TearDown();
    }

    // Every file of the run directory by its relative path, with its bytes. The failure record's header lines carry
    // the time of the run, which is left out.
    std::map<std::string, std::string> Library() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(run_.path())) {
            if (!entry.is_regular_file()) continue;
            std::string bytes = FileText(entry.path());
            if (entry.path().filename() == fs::u8path("失败记录.txt")) {
                std::string kept;
                for (std::size_t at = 0; at < bytes.size();) {
                    const std::size_t end = bytes.find('\n', at);
                    const std::string line = bytes.substr(at, end == std::string::npos ? end : end - at + 1);
                    kept += line.size() > 20 && line[4] == '-' && line[13] == ':' ? line.substr(19) : line;
                    at = end == std::string::npos ? bytes.size() : end + 1;
                }
                bytes = kept;
            }
            files[fs::relative(entry.path(), run_.path()).string()] = bytes;
        }
        return files;
    }

    // How often the site saw each address.
    std::map<std::string, int> RequestCounts() const {
        std::map<std::string, int> counts;
        for (const auto& request : site_.requests())
            ++counts[request.target];
        return counts;
    }

    // A page with every kind of book: new ones, one present, one whose cover stays small, one whose archive is
    // missing, one with a title the library cannot hold; collected with `connections`.
    std::pair<std::map<std::string, std::string>, std::vector<std::string>> CollectMixedPage(int connections) {
        for (const auto& entry : fs::directory_iterator(run_.path()))
            fs::remove_all(entry.path());
        WriteSized(At("小说/完本/玄幻小说/已有.rar"), 30001);
        std::vector<demo::Book> books;
        for (int i = 0; i < 8; ++i) {
            books.push_back(MakeBook(800 + i, "新书" + std::to_string(i)));
            ServeFiles(800 + i, 40000 + 1000 * i);
        }
        books.push_back(MakeBook(810, "已有"));
        books.push_back(MakeBook(811, "小封面"));
        ServeFiles(811, 50000, 1500);
        books.push_back(MakeBook(812, "缺档"));
        ServeFiles(812);
        site_.respond("/down/2011/812.rar", SiteResponse::Page("<html>404</html>", 404));
        books.push_back(MakeBook(813, "a=b"));
        books.push_back(MakeBook(814, "最后"));
        ServeFiles(814);
        std::vector<Text> entries;
        for (const auto& b : books)
            entries.push_back(site.Entry(b));
        // Two books that show the site's placeholder picture: one cover address, too small to keep.
        site_.serve("/dianzishu/UploadPic/nopic.jpg", std::string(1200, 'p'));
        for (int serial : {815, 816}) {
            Text entry = site.Entry(MakeBook(serial, "同图" + std::to_string(serial)));
            const std::string own = "/UploadPic/" + std::to_string(serial) + ".jpg";
            entry.replace(entry.find(own), own.size(), "/UploadPic/nopic.jpg");
            entries.push_back(entry);
            ServeFiles(serial);
        }
        ServePage(Finished(), 1, entries);
        // The look-ahead goes on into the next page.
        std::vector<demo::Book> next;
        for (int i = 0; i < 3; ++i) {
            next.push_back(MakeBook(860 + i, "次页" + std::to_string(i)));
            ServeFiles(860 + i);
        }
        ServeBooks(Finished(), 2, next);

        std::vector<std::string> reports;
        site_.clearRequests();
        Collect(true, 0, "2", forms::kAnswerCancel, false, [&] {
            app::Collecting().connections = connections;
            app::Collecting().reports = [&](const Text& report) { reports.push_back(Utf8(report)); };
        });
        reports.push_back(Summary());
        return {Library(), reports};
    }
};

} // namespace

TEST_F(PrefetchTest, OneConnectionAndFourGiveTheSameLibraryAndReports) {
    const auto [one, oneReports] = CollectMixedPage(1);
    const int oneCoverFetches = Requests("/dianzishu/UploadPic/811.jpg");
    const auto oneRequests = RequestCounts();
    EXPECT_EQ(app::Collecting().lastConnections, 0) << "one connection fetches nothing ahead";
    const auto [four, fourReports] = CollectMixedPage(4);
    EXPECT_EQ(app::Collecting().lastConnections, 4);
    EXPECT_GT(app::Collecting().lastPeakHeldBytes, 0u) << "bodies did wait ahead of the harvest";

    EXPECT_EQ(four, one);
    EXPECT_EQ(fourReports, oneReports);
    EXPECT_EQ(oneReports.back(),
              "采集完成，共采集18篇小说，其中已存在1篇小说，本次成功采集15篇小说，失败2篇！是否查看文件？" +
                  FailureLine());
    // The site sees the same requests, each as often, whether the files come ahead or not.
    EXPECT_EQ(RequestCounts(), oneRequests);
    EXPECT_EQ(oneRequests.at("/dianzishu/UploadPic/nopic.jpg"), 2 * app::kCoverAttempts);
    // The cover retries reach the network: only the first fetch of a URL takes what was fetched ahead.
    EXPECT_EQ(oneCoverFetches, app::kCoverAttempts);
    EXPECT_EQ(Requests("/dianzishu/UploadPic/811.jpg"), app::kCoverAttempts);
    // Nothing is fetched for the book present or the title that cannot be stored, ahead or not.
    EXPECT_EQ(Requests("/down/2011/810.rar") + Requests("/down/2011/813.rar"), 0);
    EXPECT_EQ(Requests("/down/2011/800.rar"), 1);
}

TEST_F(PrefetchTest, BodiesAheadStayUnderTheCapWithArchivesLargerThanIt) {
    std::vector<demo::Book> books;
    for (int i = 0; i < 6; ++i) {
        books.push_back(MakeBook(820 + i, "大书" + std::to_string(i)));
        ServeFiles(820 + i, 150'000);
    }
    ServeBooks(Finished(), 1, books);
    Collect(true, 0, "1", forms::kAnswerCancel, false, [] {
        app::Collecting().connections = 4;
        app::Collecting().memoryCap = 100'000;
    });
    EXPECT_EQ(Summary(), "采集完成，共采集6篇小说，其中已存在0篇小说，本次成功采集6篇小说！是否查看文件？");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(fs::file_size(At("小说/完本/玄幻小说/大书" + std::to_string(i) + ".rar")), 150'000u);
    EXPECT_LE(app::Collecting().lastPeakHeldBytes, 100'000u);
}

// A busy site is waited for: a refused archive is asked again after each pause, a book whose archive the site keeps
// refusing fails with 服务器繁忙, no request starts while a pause is on, and the run goes on with one connection.
TEST_F(PrefetchTest, ABusySiteIsWaitedForAndItsBooksAskedAgain) {
    ServeBooks(Finished(), 1, {MakeBook(830, "忙"), MakeBook(831, "闲"), MakeBook(832, "再试")});
    for (int serial : {830, 831, 832})
        ServeFiles(serial);
    SiteResponse busy = SiteResponse::Page("<html>slow down</html>", 429);
    busy.headers.push_back({"Retry-After", "1"});
    site_.respond("/down/2011/830.rar", busy);
    site_.respondInTurn("/down/2011/832.rar", {SiteResponse::Page("<html>busy</html>", 503), busy});
    ManualClock clock;
    std::mutex mutex;
    std::vector<Pacer::Event> events;
    Collect(true, 0, "1", forms::kAnswerCancel, false, [&] {
        app::Collecting().connections = 4;
        app::Collecting().clock = &clock;
        app::Collecting().watch = [&](const Pacer::Event& e) {
            std::lock_guard lock(mutex);
            events.push_back(e);
        };
    });
    EXPECT_EQ(app::Collecting().lastConnections, 1);
    EXPECT_EQ(Requests("/down/2011/830.rar"), 4) << "asked again three times";
    EXPECT_EQ(Requests("/down/2011/832.rar"), 3);
    EXPECT_EQ(Summary(), "采集完成，共采集3篇小说，其中已存在0篇小说，本次成功采集2篇小说，失败1篇！是否查看文件？" +
                             FailureLine());
    EXPECT_NE(FileText(At("小说/失败记录.txt")).find(Gbk("下载失败：服务器繁忙")), std::string::npos);
    std::lock_guard lock(mutex);
    for (const auto& pause : events) {
        if (pause.kind != Pacer::Event::Kind::Pause) continue;
        for (const auto& start : events)
            EXPECT_FALSE(start.kind == Pacer::Event::Kind::Start && start.at > pause.at &&
                         start.at < pause.at + pause.pause)
                << "a request started inside a pause";
    }
}

// A site that stops answering ends the run after five failed requests in a row, as a stop by the user does, instead
// of costing a minute a request for ever.
TEST_F(PrefetchTest, ASiteThatIsGoneEndsTheRun) {
    std::vector<demo::Book> books;
    for (int i = 0; i < 8; ++i) {
        books.push_back(MakeBook(870 + i, "断" + std::to_string(i)));
        const std::string s = std::to_string(870 + i);
        for (const std::string& path :
             {"/txt/" + s + "txt.html", "/dianzishu/UploadPic/" + s + ".jpg", "/down/2011/" + s + ".rar"})
            site_.respond(path, SiteResponse::Page("<html>broken</html>", 500));
    }
    ServeBooks(Finished(), 1, books);
    // The first answer is the OK of the box that tells why; the summary takes the default.
    Collect(true, 0, "1", forms::kAnswerOk, false, [] { app::Collecting().connections = 1; });
    ASSERT_GE(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[BoxTexts().size() - 2], "网站连续无法访问，采集已停止");
    EXPECT_EQ(Summary().rfind("采集已停止，", 0), 0u) << Summary();
    EXPECT_LE(site_.requests().size(), 1u + 5u) << "the list page and five failures, then nothing";
    EXPECT_TRUE(app::State().runRefused) << "the headless run ends with 1";
}

TEST_F(PrefetchTest, AStopCancelsTheTransfersAheadAndLeavesNothingBehind) {
    std::vector<demo::Book> books;
    for (int i = 0; i < 5; ++i) {
        books.push_back(MakeBook(840 + i, "慢书" + std::to_string(i)));
        ServeFiles(840 + i);
        site_.respond("/down/2011/" + std::to_string(840 + i) + ".rar",
                      SiteResponse::Drip(std::string(40000, 'r'), 20));
    }
    ServeBooks(Finished(), 1, books);
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (Requests("/down/2011/") < 3 || !Loaded(W::等待窗口::id)) return;
        user.stop();
        forms::FindLiveControl(W::等待窗口::id, 0)->widget()->close();
    });
    user.start(20);
    int openWhileSummaryShown = -1;
    box_.whileShown = [&] {
        WaitUntil([&] { return site_.openConnections() == 0; });
        openWhileSummaryShown = site_.openConnections();
    };
    Collect(true, 0, "1", forms::kAnswerCancel, false, [] { app::Collecting().connections = 4; });
    EXPECT_EQ(Summary(), "采集已停止，共采集0篇小说，其中已存在0篇小说，本次成功采集0篇小说！是否查看文件？");
    EXPECT_EQ(openWhileSummaryShown, 0) << "a transfer went on after the stop";
    // Nor a file written ahead for a book that was not harvested.
    for (const auto& entry : fs::recursive_directory_iterator(At("小说"))) {
        EXPECT_NE(entry.path().extension(), ".rar") << entry.path();
        EXPECT_FALSE(IsTemporaryFileName(entry.path().filename().string())) << entry.path();
    }
}

// A stop during the pause a busy server asked for ends the run then, not once the pause is over.
TEST_F(PrefetchTest, AStopEndsTheRetryAfterPause) {
    ServeBooks(Finished(), 1, {MakeBook(850, "久等")});
    ServeFiles(850);
    SiteResponse busy = SiteResponse::Page("<html>slow down</html>", 503);
    busy.headers.push_back({"Retry-After", "60"});
    site_.respond("/down/2011/850.rar", busy);
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (Requests("/down/2011/850.rar") == 0 || !Loaded(W::等待窗口::id)) return;
        user.stop();
        forms::FindLiveControl(W::等待窗口::id, 0)->widget()->close();
    });
    user.start(20);
    const auto start = std::chrono::steady_clock::now();
    Collect(true, 0, "1", forms::kAnswerCancel, false, [] { app::Collecting().connections = 4; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "the 60 s pause held the stop";
    EXPECT_EQ(Summary(), "采集已停止，共采集0篇小说，其中已存在0篇小说，本次成功采集0篇小说！是否查看文件？");
    EXPECT_EQ(Requests("/down/2011/850.rar"), 1) << "not asked again after the stop";
}

// A run of many pages goes to its end with one connection and with four: no page waits for books that nothing would
// fetch before the harvest.
TEST_F(PrefetchTest, EveryPageOfALongRunIsCollectedWithAnyNumberOfConnections) {
    std::vector<std::vector<demo::Book>> pages;
    for (int page = 1; page <= 4; ++page) {
        pages.emplace_back();
        for (int i = 0; i < 2; ++i) {
            const int serial = 880 + page * 2 + i;
            pages.back().push_back(MakeBook(serial, "长" + std::to_string(serial)));
            ServeFiles(serial);
        }
        ServeBooks(Finished(), page, pages.back());
    }
    const std::string lastPage = "/wanben/xh/tuijian4.html";
    const std::string firstBook = "/txt/882txt.html";
    for (int connections : {1, 4}) {
        for (const auto& entry : fs::directory_iterator(run_.path()))
            fs::remove_all(entry.path());
        // Fetching ahead, the first page's books are on their way while the later pages come: the second page is
        // answered only once the site was asked for the first book (else it stalls, and the run misses its books).
        auto firstBookAsked = connections > 1 ? std::make_shared<SiteGate>() : nullptr;
        if (firstBookAsked) site_.openOnRequest(firstBook, firstBookAsked);
        ServeBooks(Finished(), 2, pages[1], false, firstBookAsked);
        site_.clearRequests();
        Collect(true, 0, "4", forms::kAnswerCancel, false,
                [connections] { app::Collecting().connections = connections; });
        EXPECT_EQ(Summary(), "采集完成，共采集8篇小说，其中已存在0篇小说，本次成功采集8篇小说！是否查看文件？")
            << connections;
        if (connections > 1) continue;
        // One connection asks for every list page first, as the collection reads them.
        const auto requests = site_.requests();
        const auto at = [&](const std::string& target) {
            return std::find_if(requests.begin(), requests.end(), [&](const auto& r) { return r.target == target; });
        };
        EXPECT_LT(at(lastPage), at(firstBook));
    }
}
