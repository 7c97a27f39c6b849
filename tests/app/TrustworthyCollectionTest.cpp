// SPDX-License-Identifier: MIT
// What a collection does when the site or the disk lets it down: what the user is told matches what is on disk.
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/HeadlessRun.h"
#include "services/ConnectTo.h"
#include "services/FileLock.h"
#include "services/Http.h"
#include "services/Ini.h"
#include "system/SystemOps.h"
#include "tests/app/CollectionFixture.h"
#include "tests/support/Archives.h"

#include <sys/resource.h>

#include <csignal>
#include <fstream>

using namespace paveno;
using namespace paveno::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class TrustTest : public CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        saved_ = GetHttpSettings();
    }
    void TearDown() override {
        SetHttpSettings(saved_);
        CollectionTest::TearDown();
    }

    // A path under the run directory as the services take it, whatever the current folder.
    Text Path(std::string_view utf8) const { return Gbk(At(utf8).string()); }
    std::string IndexValue(std::string_view title) const {
        return Utf8(ReadIniValue(Path("小说/ini/小说.ini"), Gbk("小说"), Gbk(title)));
    }
    std::string FailureRecord() const { return Utf8(FileText(At("小说/失败记录.txt"))); }

    HttpSettings saved_;
};

std::string ArchiveUrl(int serial) {
    return std::string("http://") + build::kBookHost + "/down/2011/" + std::to_string(serial) + ".rar";
}

} // namespace

// A serialised book with 若重复覆盖文件 ticked is fetched again over its good archive: every way that download can fail
// leaves the good archive and its index key as they were, and the book is told, counted and recorded as failed.
TEST_F(TrustTest, AnArchiveThatDoesNotComeWholeIsAFailedBookAndReplacesNothing) {
    const std::string archive(100000, 'n');
    struct Case {
        SiteResponse response;
        HttpSettings limits; // lowered so that the slow cases end quickly
        const char* reason;
    } cases[] = {
        {SiteResponse::Page("<html>404 Not Found</html>", 404), {}, "服务器返回404"},
        {SiteResponse::Page(archive, 500), {}, "服务器返回500"},
        {SiteResponse::CutAfter(archive, 40000), {}, "数据不完整"},
        {SiteResponse::StallAfter(archive, 40000), {5s, 1s, std::size_t{1} << 30, 1024, 60s}, "传输太慢"},
        {SiteResponse::Drip(archive, 20), {5s, 60s, std::size_t{1} << 30, 1, 1s}, "下载超时"},
    };
    int serial = 700;
    std::string report;
    box_.whileShown = [&] { report = Report(); };
    for (const auto& c : cases) {
        const std::string title = "坏书" + std::to_string(serial);
        const fs::path archivePath = At("小说/连载中/玄幻奇幻/" + title + ".rar");
        WriteSized(archivePath, 400000); // present, but the overwrite box asks for it again
        fs::create_directories(At("小说/ini"));
        ASSERT_TRUE(WriteIniValue(Path("小说/ini/小说.ini"), Gbk("小说"), Gbk(title), Gbk("旧的值")));

        ServeBooks(Serialised(), 1, {MakeBook(serial + 50, "好书"), MakeBook(serial, title)});
        ServeFiles(serial + 50);
        ServeFiles(serial);
        site_.respond("/down/2011/" + std::to_string(serial) + ".rar", c.response);
        SetHttpSettings(c.limits);
        Collect(false, 0, "1", forms::kAnswerCancel, /*overwrite=*/true);

        const std::string why = std::string("下载失败：") + c.reason;
        EXPECT_EQ(Summary(),
                  "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集1篇小说，失败1篇！是否查看文件？" +
                      FailureLine());
        EXPECT_NE(report.find("作者坏书" + std::to_string(serial) + "\r\n" + why + "\r\n简介："), std::string::npos)
            << report;
        EXPECT_NE(report.find("本次成功采集1篇小说，失败1篇！  正在采集"), std::string::npos) << report;
        EXPECT_EQ(FileText(archivePath), std::string(400000, 'x')) << c.reason;
        EXPECT_EQ(IndexValue(title), "旧的值") << c.reason;
        EXPECT_FALSE(fs::exists(At("小说/ini/连载中/玄幻奇幻/" + title + ".ini"))) << "no author record";
        EXPECT_TRUE(fs::exists(At("小说/连载中/玄幻奇幻/好书.rar")));
        EXPECT_NE(FailureRecord().find(title + "  " + ArchiveUrl(serial) + "  " + why + "\r\n"), std::string::npos)
            << FailureRecord();
        ++serial;
    }
    // One header line per run, then the run's failed book.
    const std::string record = FailureRecord();
    std::size_t headers = 0;
    for (std::size_t at = 0; (at = record.find(" 连载中的玄幻奇幻小说\r\n", at)) != std::string::npos; ++at)
        ++headers;
    EXPECT_EQ(headers, std::size(cases));

    // The next run fetches the failed book again, now that the site sends it.
    SetHttpSettings(saved_);
    const int again = serial - 1;
    ServeFiles(again, 350000);
    Collect(false, 0, "1", forms::kAnswerCancel, true);
    EXPECT_EQ(Summary(), "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集2篇小说！是否查看文件？");
    EXPECT_EQ(fs::file_size(At("小说/连载中/玄幻奇幻/坏书" + std::to_string(again) + ".rar")), 350000u);
}

TEST_F(TrustTest, ACoverThatNeverComesLeavesTheBookWithoutOneAndSaysSo) {
    ServeBooks(Finished(), 1, {MakeBook(720, "无封面")});
    ServeFiles(720);
    site_.respond("/dianzishu/UploadPic/720.jpg", SiteResponse::Page("gone", 404));
    std::string report;
    box_.whileShown = [&] { report = Report(); };
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(Requests("/dianzishu/UploadPic/720.jpg"), app::kCoverAttempts);
    EXPECT_FALSE(fs::exists(At("小说/jpg/无封面.jpg"))) << "an error page is no cover";
    EXPECT_NE(report.find("压缩文件大小：40KB\r\n封面下载失败：服务器返回404\r\n简介："), std::string::npos) << report;
    EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
}

// A book whose files cannot be written fails, and the index never names an archive that is not on disk.
TEST_F(TrustTest, AFailedWriteIsAFailedBookWithoutAnIndexKey) {
    ServeBooks(Finished(), 1, {MakeBook(730, "写不了")});
    ServeFiles(730);
    // A file where the category's folder should be: nothing can be written into it.
    fs::create_directories(At("小说/完本"));
    std::ofstream(At("小说/完本/玄幻小说")) << "not a folder";
    std::string report;
    box_.whileShown = [&] { report = Report(); };
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_NE(report.find("\r\n保存失败：文件夹不存在\r\n"), std::string::npos) << report;
    EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集0篇小说，失败1篇！是否查看文件？" +
                             FailureLine());
    EXPECT_EQ(IndexValue("写不了"), "");
    EXPECT_EQ(app::State().runFailures, 1);
}

TEST_F(TrustTest, TitlesTheLibraryCannotHoldAreSkippedWithoutAFetch) {
    const std::string titles[] = {"a=b", ";注释", "x]y", std::string(250, 'x')};
    std::vector<demo::Book> books;
    for (int i = 0; i < 4; ++i)
        books.push_back(MakeBook(740 + i, titles[i]));
    books.push_back(MakeBook(749, "能存"));
    ServeBooks(Finished(), 1, books);
    for (int i = 0; i < 10; ++i)
        ServeFiles(740 + i);
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(Requests("/down/2011/"), 1);
    EXPECT_EQ(Requests("/txt/"), 1);
    EXPECT_EQ(Summary(), "采集完成，共采集5篇小说，其中已存在0篇小说，本次成功采集1篇小说，失败4篇！是否查看文件？" +
                             FailureLine());
    const std::string record = FailureRecord();
    for (const char* why : {"a=b  http://", ";注释  http://", "x]y  http://", "  跳过：书名太长\r\n"})
        EXPECT_NE(record.find(why), std::string::npos) << why << "\n" << record << "\n" << Report();
    EXPECT_NE(IndexValue("能存"), "");
}

// The site does not answer the first list page: nothing was collected, so there is no summary; the user is told why
// and is back at the main window.
TEST_F(TrustTest, ASiteThatCannotBeReachedIsNotAFinishedRun) {
    std::uint16_t closedPort;
    {
        LocalSite gone;
        closedPort = gone.port();
    }
    struct Case {
        std::function<void()> breakSite;
        const char* box;
    } cases[] = {
        {[&] { site_.respond(Finished().listPath + "1.html", SiteResponse::Page("<html>no</html>", 404)); },
         "无法连接网站：服务器返回404"},
        {[&] { SetConnectTo({"::127.0.0.1:" + std::to_string(closedPort)}); }, "无法连接网站：无法连接服务器"},
    };
    for (const auto& c : cases) {
        c.breakSite();
        Collect(true, 0, "3", forms::kAnswerCancel);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box});
        EXPECT_EQ(box_.shown.back().style, 0u) << "OK only";
        EXPECT_TRUE(Shown(W::主窗口::id));
        EXPECT_FALSE(Loaded(W::等待窗口::id));
        EXPECT_FALSE(Loaded(W::标记窗口::id));
        EXPECT_EQ(app::State().successCount + app::State().existingCount + app::State().failedCount, 0);
        EXPECT_TRUE(end_.codes.empty()) << "the program goes on";
        box_.shown.clear();
    }

    // Without a desktop the run ends with 1 and the reason on standard error.
    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = false;
    options.collect = app::CollectRequest{"完本", "玄幻小说", "2", "0", false};
    EXPECT_EQ(app::RunHeadlessCollection(options), 1);
}

TEST_F(TrustTest, OneProgramCollectsIntoALibraryAtATime) {
    ServeBooks(Finished(), 1, {MakeBook(750, "锁")});
    ServeFiles(750);
    fs::create_directories(At("小说"));
    FileLock other; // another program's collection, as far as the lock can tell
    int error = 0;
    ASSERT_EQ(other.TryTake(Path("小说"), error), FileLock::Result::Taken);
    // No file carries the lock, so none can be deleted to get round it.
    EXPECT_TRUE(fs::is_empty(At("小说")));

    Collect(true, 0, "1");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"书库正在被另一个采集使用"});
    EXPECT_EQ(Requests("/"), 0) << "nothing is fetched";
    EXPECT_TRUE(Shown(W::主窗口::id));

    // Closing the main window leaves the other program's page cache alone.
    fs::create_directories(At("缓存/玄幻小说"));
    CloseWindow(W::主窗口::id, true);
    EXPECT_TRUE(fs::exists(At("缓存/玄幻小说")));
    EXPECT_EQ(BoxTexts().back(), "书库正在被另一个采集使用");

    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = false;
    options.collect = app::CollectRequest{"完本", "玄幻小说", "1", "0", false};
    EXPECT_EQ(app::RunHeadlessCollection(options), 1);

    // Once the other program is done, the collection runs, and the temporary files that a killed run left behind
    // (and only those) are gone.
    other.Release();
    for (const char* name : {"小说/完本/玄幻小说/~paveno-a1B2c3.part", "缓存/玄幻小说/~paveno-zzzzzz.part"})
        WriteSized(At(name), 10);
    WriteSized(At("小说/完本/玄幻小说/~paveno-notes.txt"), 10);
    box_.shown.clear();
    Collect(true, 0, "1", forms::kAnswerOk);
    EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
    EXPECT_FALSE(fs::exists(At("小说/完本/玄幻小说/~paveno-a1B2c3.part")));
    EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/~paveno-notes.txt")));
    EXPECT_FALSE(fs::exists(At("缓存"))) << "the run's own cache goes with the main window";
}

TEST_F(TrustTest, ALargePageCountEndsWhereTheSiteRunsOut) {
    ServeBooks(Finished(), 1, {MakeBook(760, "一页")});
    ServeFiles(760);
    site_.respond(Finished().listPath + "2.html", SiteResponse::Page("<html>no such page</html>", 404));
    Collect(true, 0, "2147483647", forms::kAnswerCancel);
    EXPECT_EQ(Requests(Finished().listPath), 2);
    EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
}

// A failure record that cannot be written (a link at its name, which is not followed; a full disk) is told at once on
// standard error and in the summary, instead of the failures being lost without a word.
TEST_F(TrustTest, AFailureRecordThatCannotBeWrittenIsTold) {
    struct Case {
        const char* what;
        const char* reason;
    };
    const Case cases[] = {{"link", "文件是符号链接"}, {"full disk", "磁盘已满"}};
    int serial = 800;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool link = std::string_view(c.what) == "link";
        fs::remove_all(At("小说"));
        fs::create_directories(At("小说"));
        const TempRunDirectory elsewhere;
        const fs::path outside = elsewhere.path() / "notes.txt";
        std::ofstream(outside) << "keep";
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (link) {
            fs::create_symlink(outside, At("小说/失败记录.txt"));
        } else {
            // The record has grown past what the disk takes: every write to it fails as on a full disk, while the
            // run's small files still fit.
            WriteSized(At("小说/失败记录.txt"), 2 << 20);
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = saved;
            small.rlim_cur = 1 << 20;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        ServeBooks(Finished(), 1, {MakeBook(serial, "失败的书")});
        ServeFiles(serial);
        site_.respond("/down/2011/" + std::to_string(serial) + ".rar", SiteResponse::Page("<html>gone</html>", 404));
        box_.shown.clear();
        testing::internal::CaptureStderr();
        Collect(true, 0, "1", forms::kAnswerCancel);
        const std::string said = testing::internal::GetCapturedStderr();
        setrlimit(RLIMIT_FSIZE, &saved);

        EXPECT_EQ(Summary(), std::string("采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集0篇小说，失败1篇，"
                                         "失败记录无法写入：") +
                                 c.reason + "！是否查看文件？" + FailureLine());
        EXPECT_NE(said.find(std::string("失败记录无法写入：") + c.reason), std::string::npos) << said;
        EXPECT_EQ(FileText(outside), "keep");
        if (link) {
            EXPECT_TRUE(fs::is_symlink(At("小说/失败记录.txt")));
        }
        EXPECT_EQ(app::State().runFailures, 1);
        ++serial;
    }
}

// A list page fetched by the run and gone from the cache before its turn (deleted by hand) is told in the summary and
// fails the run, instead of the run reporting the books it could see as all there was.
TEST_F(TrustTest, AListPageGoneFromTheCacheIsTold) {
    ServeBooks(Finished(), 1, {MakeBook(820, "第一页的书")});
    ServeBooks(Finished(), 2, {MakeBook(821, "第二页的书")});
    ServePage(Finished(), 3, {});
    site_.serve(Finished().listPath + "3.html", "<html>end</html>");
    ServeFiles(820);
    ServeFiles(821);
    app::Collecting().reports = ([&](const Text&) { fs::remove(At("缓存/玄幻小说/2.html")); });
    Collect(true, 0, "3", forms::kAnswerCancel);
    app::Collecting().reports = {};
    EXPECT_EQ(Summary(),
              "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说，1个列表页的缓存丢失，其中的小说"
              "未采集！是否查看文件？");
    EXPECT_EQ(app::State().runFailures, 1);
    // Its book may have been fetched ahead before the page went, but nothing of it is kept.
    EXPECT_FALSE(fs::exists(At("小说/完本/玄幻小说/第二页的书.rar")));
}

// A list page beyond 8 MB is no page to cut into entries: the first one ends the run as out of reach would, a later
// one ends its category, and neither is kept in the cache.
TEST_F(TrustTest, ListPagesBeyondEightMegabytesAreRefused) {
    const std::string huge(9u << 20, ' ');
    site_.serve(Finished().listPath + "1.html", huge);
    Collect(true, 0, "2", forms::kAnswerCancel);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"无法连接网站：文件太大"});
    EXPECT_FALSE(fs::exists(At("缓存/玄幻小说/1.html")));

    box_.shown.clear();
    ServeBooks(Finished(), 1, {MakeBook(830, "第一页")});
    ServeFiles(830);
    site_.serve(Finished().listPath + "2.html", huge);
    Collect(true, 0, "3", forms::kAnswerCancel);
    EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
    EXPECT_EQ(Requests(Finished().listPath + "3.html"), 0);
}

// A click on 采集 that comes while a run waits (for a transfer or a pause, when the windows go on) starts no second
// run over the first one.
TEST_F(TrustTest, ASecondCollectionCannotStartWhileOneRuns) {
    ServeBooks(Finished(), 1, {MakeBook(840, "一本"), MakeBook(841, "两本")});
    ServeFiles(840);
    ServeFiles(841);
    int reports = 0;
    app::Collecting().reports = ([&](const Text&) {
        if (++reports == 1) Click(W::主窗口::id, W::主窗口::按钮2);
    });
    Collect(true, 0, "1", forms::kAnswerCancel);
    app::Collecting().reports = {};
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集2篇小说！是否查看文件？"});
    EXPECT_EQ(Requests(Finished().listPath), 1);
    EXPECT_EQ(reports, 2);
}

// Titles opening with "[" ("[综漫]...") are collected: archive, cover and introduction, counted as collected, and
// found in the library window by a part of their name. They get no index key and no author record, which INI
// readers would take for a section header; the report says so. An author written over two lines keeps to one.
TEST_F(TrustTest, BracketTitlesAreCollectedAndAuthorsKeepToOneLine) {
    ServeBooks(Finished(), 1,
               {demo::Book{850, Gbk("[综漫]某书"), Gbk("某\r\n作者"), Gbk("一段简介。")},
                demo::Book{851, Gbk("两行作者"), Gbk("某\r\n作者"), Gbk("又一段简介。")}});
    ServeFiles(850);
    ServeFiles(851);
    std::vector<std::string> reports;
    app::Collecting().reports = ([&](const Text& report) { reports.push_back(Utf8(report)); });
    Collect(true, 0, "1", forms::kAnswerOk);
    app::Collecting().reports = {};

    ASSERT_EQ(BoxTexts(), std::vector<std::string>{
                              "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集2篇小说！是否查看文件？"});
    for (const char* file :
         {"小说/完本/玄幻小说/[综漫]某书.rar", "小说/jpg/[综漫]某书.jpg", "小说/ini/完本/玄幻小说/[综漫]某书简介.ini"})
        EXPECT_TRUE(fs::exists(At(file))) << file;
    EXPECT_FALSE(fs::exists(At("小说/ini/完本/玄幻小说/[综漫]某书.ini")));
    EXPECT_EQ(FileText(At("小说/ini/小说.ini")).find(Gbk("[综漫]")), std::string::npos);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("书名以“[”开头，未写入索引和作者记录"), std::string::npos) << reports[0];
    EXPECT_EQ(reports[1].find("未写入索引"), std::string::npos) << reports[1];

    EXPECT_EQ(Utf8(FileText(At("小说/ini/完本/玄幻小说/两行作者.ini"))), "[两行作者]\r\n作者=某  作者\r\n");
    EXPECT_NE(IndexValue("两行作者"), "");
    EXPECT_NE(reports[1].find("作者：某  作者"), std::string::npos) << reports[1];

    ASSERT_TRUE(Shown(W::书库窗口::id));
    box_.answers = {forms::kAnswerCancel};
    Type(W::书库窗口::id, W::书库窗口::编辑框1, "综漫");
    Click(W::书库窗口::id, W::书库窗口::按钮1);
    ASSERT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[1], "没有书名为“综漫”的小说，书名含有它的有1本：\r\n  [综漫]某书\r\n已选中第一本，是否打开？");
}

// What the book host sends must be an archive: a web page answered with 200 fails the book, and an archive sent
// without a length and cut off by the server fails it too, where before both were kept as whole and never fetched
// again.
TEST_F(TrustTest, ArchivesThatAreNoArchivesFailTheirBook) {
    const std::string chapter = PackedContent(60000);
    const std::string rar = MakeRar4({{"正文.txt", chapter}});
    const std::string zip = MakeZip({{"正文.txt", chapter}});
    auto cutWithoutLength = [](const std::string& whole) {
        SiteResponse response = SiteResponse::WithoutLength(whole);
        response.closeAfter = whole.size() * 2 / 5;
        return response;
    };
    struct Case {
        const char* what;
        SiteResponse response;
        const char* failure; // nullptr: collected
    };
    const Case cases[] = {
        {"maintenance page", SiteResponse::Page("\r\n<html><body>网站维护中</body></html>"),
         "下载失败：服务器返回网页"},
        {"rar cut, no length", cutWithoutLength(rar), "下载失败：数据不完整"},
        {"zip cut, no length", cutWithoutLength(zip), "下载失败：数据不完整"},
        {"rar cut, length announced", SiteResponse::CutAfter(rar, rar.size() * 2 / 5), "下载失败：数据不完整"},
        {"rar whole, no length", SiteResponse::WithoutLength(rar), nullptr},
        {"zip whole, no length", SiteResponse::WithoutLength(zip), nullptr},
    };
    int serial = 860;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string title = "书" + std::to_string(serial);
        ServeBooks(Finished(), 1, {MakeBook(serial, title)});
        ServeFiles(serial);
        site_.respond("/down/2011/" + std::to_string(serial) + ".rar", c.response);
        box_.shown.clear();
        Collect(true, 0, "1", forms::kAnswerCancel);
        const fs::path archive = At("小说/完本/玄幻小说/" + title + ".rar");
        if (c.failure) {
            EXPECT_EQ(Summary(),
                      "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集0篇小说，失败1篇！是否查看文件？" +
                          FailureLine());
            EXPECT_NE(FailureRecord().find(title + "  " + ArchiveUrl(serial) + "  " + c.failure), std::string::npos)
                << FailureRecord();
            EXPECT_FALSE(fs::exists(archive));
            EXPECT_EQ(IndexValue(title), "");
        } else {
            EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
            EXPECT_EQ(FileText(archive), c.response.body ? *c.response.body : "");
            EXPECT_NE(IndexValue(title), "");
        }
        ++serial;
    }
}
