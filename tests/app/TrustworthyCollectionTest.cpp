// SPDX-License-Identifier: MIT
// What a collection does when the site or the disk lets it down: what the user is told matches what is on disk.
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/HeadlessRun.h"
#include "services/ConnectTo.h"
#include "services/Files.h"
#include "services/Http.h"
#include "services/Ini.h"
#include "services/WholeFile.h"
#include "system/SystemOps.h"
#include "tests/app/CollectionFixture.h"

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
    const std::string titles[] = {"a=b", ";注释", "[节", std::string(250, 'x')};
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
    for (const char* why : {"a=b  http://", ";注释  http://", "[节  http://", "  跳过：书名太长\r\n"})
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
    ASSERT_EQ(other.TryTake(Path("小说/.lock"), error), FileLock::Result::Taken);

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
