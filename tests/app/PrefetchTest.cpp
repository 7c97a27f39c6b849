// SPDX-License-Identifier: MIT
// Fetching ahead changes when the files come, never what the user and the library see.
#include "app/Collector.h"
#include "services/Files.h"
#include "tests/app/CollectionFixture.h"

#include <QTimer>
#include <QWidget>

#include <map>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

namespace {

class PrefetchTest : public CollectionTest {
protected:
    void TearDown() override {
        app::SetReportObserver({});
        app::Prefetching() = {};
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
        ServeBooks(Finished(), 1, books);

        std::vector<std::string> reports;
        site_.clearRequests();
        Collect(true, 0, "1", forms::kAnswerCancel, false, [&] {
            app::Prefetching().connections = connections;
            app::SetReportObserver([&](const Text& report) { reports.push_back(Utf8(report)); });
        });
        reports.push_back(Summary());
        return {Library(), reports};
    }
};

} // namespace

TEST_F(PrefetchTest, OneConnectionAndFourGiveTheSameLibraryAndReports) {
    const auto [one, oneReports] = CollectMixedPage(1);
    const int oneCoverFetches = Requests("/dianzishu/UploadPic/811.jpg");
    EXPECT_EQ(app::Prefetching().lastConnections, 0) << "one connection fetches nothing ahead";
    const auto [four, fourReports] = CollectMixedPage(4);
    EXPECT_EQ(app::Prefetching().lastConnections, 4);
    EXPECT_GT(app::Prefetching().lastPeakHeldBytes, 0u) << "bodies did wait ahead of the harvest";

    EXPECT_EQ(four, one);
    EXPECT_EQ(fourReports, oneReports);
    EXPECT_EQ(oneReports.back(),
              "采集完成，共采集13篇小说，其中已存在1篇小说，本次成功采集10篇小说，失败2篇！是否查看文件？" +
                  FailureLine());
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
        app::Prefetching().connections = 4;
        app::Prefetching().memoryCap = 100'000;
    });
    EXPECT_EQ(Summary(), "采集完成，共采集6篇小说，其中已存在0篇小说，本次成功采集6篇小说！是否查看文件？");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(fs::file_size(At("小说/完本/玄幻小说/大书" + std::to_string(i) + ".rar")), 150'000u);
    EXPECT_LE(app::Prefetching().lastPeakHeldBytes, 100'000u);
}

TEST_F(PrefetchTest, ABusyServerDropsTheRunToOneConnection) {
    ServeBooks(Finished(), 1, {MakeBook(830, "忙"), MakeBook(831, "闲")});
    ServeFiles(830);
    ServeFiles(831);
    SiteResponse busy = SiteResponse::Page("<html>slow down</html>", 429);
    busy.headers.push_back({"Retry-After", "1"});
    site_.respond("/down/2011/830.rar", busy);
    Collect(true, 0, "1", forms::kAnswerCancel, false, [] { app::Prefetching().connections = 4; });
    EXPECT_EQ(app::Prefetching().lastConnections, 1);
    // Asked again once after the pause it asked for; the harvest then takes that answer instead of a third request.
    EXPECT_EQ(Requests("/down/2011/830.rar"), 2);
    EXPECT_EQ(Summary(), "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集1篇小说，失败1篇！是否查看文件？" +
                             FailureLine());
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
        WaitUntil([&] { return site_.openConnections() == 0; }, 5);
        openWhileSummaryShown = site_.openConnections();
    };
    Collect(true, 0, "1", forms::kAnswerCancel, false, [] { app::Prefetching().connections = 4; });
    EXPECT_EQ(Summary(), "采集已停止，共采集0篇小说，其中已存在0篇小说，本次成功采集0篇小说！是否查看文件？");
    EXPECT_EQ(openWhileSummaryShown, 0) << "a transfer went on after the stop";
    for (const auto& entry : fs::recursive_directory_iterator(At("小说")))
        EXPECT_NE(entry.path().extension(), ".rar") << entry.path();
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
    Collect(true, 0, "1", forms::kAnswerCancel, false, [] { app::Prefetching().connections = 4; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "the 60 s pause held the stop";
    EXPECT_EQ(Summary(), "采集已停止，共采集0篇小说，其中已存在0篇小说，本次成功采集0篇小说！是否查看文件？");
    EXPECT_EQ(Requests("/down/2011/850.rar"), 1) << "not asked again after the stop";
}
