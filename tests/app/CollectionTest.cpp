// SPDX-License-Identifier: MIT
#include "BuildConfig.h"
#include "app/CollectionState.h"
#include "app/Collector.h"
#include "app/Properties.h"
#include "services/Files.h"
#include "services/Ini.h"
#include "services/RunDirectory.h"
#include "system/SystemOps.h"
#include "tests/app/CollectionFixture.h"
#include "tools/demosite/DemoCatalogue.h"

#include <fstream>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;
using demo::Book;

TEST_F(CollectionTest, CountsNewAndPresentBooksAndWritesTheirRecords) {
    std::vector<Book> books;
    for (int i = 0; i < 5; ++i) {
        books.push_back(MakeBook(500 + i, "书" + std::to_string(i)));
        ServeFiles(500 + i);
    }
    ServeBooks(Finished(), 1, books);
    WriteSized(At("小说/完本/玄幻小说/书0.rar"), 30001); // present from 30001 bytes on
    WriteSized(At("小说/完本/玄幻小说/书1.rar"), 40000);
    WriteSized(At("小说/完本/玄幻小说/书2.rar"), 30000); // not yet

    box_.whileShown = [&] { EXPECT_TRUE(fs::exists(At("缓存/玄幻小说/1.html"))); };
    Collect(true, 0, "1");
    EXPECT_EQ(Summary(), "采集完成，共采集5篇小说，其中已存在2篇小说，本次成功采集3篇小说！是否查看文件？");
    EXPECT_EQ(box_.shown.back().style, 0x21u);
    EXPECT_EQ(Requests("/down/2011/"), 3);
    EXPECT_EQ(FileText(At("小说/完本/玄幻小说/书2.rar")).size(), 40000u);
    EXPECT_EQ(FileText(At("小说/完本/玄幻小说/书0.rar")).size(), 30001u);

    // Records are rewritten for present books too.
    for (int i = 0; i < 5; ++i) {
        const std::string t = "书" + std::to_string(i);
        EXPECT_EQ(FileText(At("小说/ini/完本/玄幻小说/" + t + "简介.ini")), Gbk("一段简介。")) << t;
        const Text index = ReadIniValue(GetRunDirectory() + Gbk("\\小说\\ini\\小说.ini"), Gbk("小说"), Gbk(t));
        EXPECT_EQ(Utf8(index), Utf8(GetRunDirectory()) + "\\小说\\完本\\玄幻小说\\" + t + ".rar");
        const Text author = ReadIniValue(GetRunDirectory() + Gbk("\\小说\\ini\\完本\\玄幻小说\\") + Gbk(t) + ".ini",
                                         Gbk(t), Gbk("作者"));
        EXPECT_EQ(Utf8(author), "作者" + t);
    }
    EXPECT_EQ(FileText(At("小说/ini/完本/玄幻小说/书0简介.ini")).find('\0'), std::string::npos);
    EXPECT_TRUE(fs::exists(At("小说/jpg/书4.jpg")));
    EXPECT_FALSE(fs::exists(At("小说/jpg/书0.jpg"))); // nothing is fetched for a present book
}

TEST_F(CollectionTest, AtMostTwentyEntriesOfAPageAreHarvested) {
    for (int count : {25, 7}) {
        std::vector<Book> books;
        for (int i = 0; i < count; ++i) {
            books.push_back(MakeBook(1000 * count + i, "第" + std::to_string(count) + "页书" + std::to_string(i)));
            ServeFiles(1000 * count + i, 100);
        }
        ServeBooks(Finished(), 1, books);
        site_.clearRequests();
        app::State().successCount = 0;
        Collect(true, 0, "1", forms::kAnswerCancel);
        EXPECT_EQ(Requests("/down/2011/"), std::min(count, 20)) << count;
        EXPECT_NE(Summary().find("本次成功采集" + std::to_string(std::min(count, 20)) + "篇"), std::string::npos)
            << Summary();
    }
}

TEST_F(CollectionTest, TheFetchPhaseEndsAtAShortPageAndCountsThePageFieldDown) {
    for (int page = 1; page <= 2; ++page)
        ServeBooks(Finished(), page, {MakeBook(700 + page, "页" + std::to_string(page))});
    site_.serve(Finished().listPath + "3.html", std::string(1200, 'x'));
    site_.serve(Finished().listPath + "4.html", Text(5000, 'y'));

    std::string pagesShown;
    std::vector<bool> cached;
    box_.whileShown = [&] {
        pagesShown = Utf8(Read(W::主窗口::id, W::主窗口::编辑框1, forms::EditBox::kContent));
        for (int p = 1; p <= 4; ++p)
            cached.push_back(fs::exists(At("缓存/玄幻小说/" + std::to_string(p) + ".html")));
    };
    Collect(true, 0, "5");
    EXPECT_EQ(pagesShown, "2");
    EXPECT_EQ(cached, (std::vector<bool>{true, true, true, false}));
    EXPECT_FALSE(fs::exists(At("缓存"))); // OK closes the main window, which removes the cache
    EXPECT_EQ(Requests(Finished().listPath), 3);
}

TEST_F(CollectionTest, ThePageFieldIsReadAsATruncatedNumber) {
    for (int page = 1; page <= 3; ++page)
        ServeBooks(Finished(), page, {MakeBook(800 + page, "数" + std::to_string(page))});
    struct Case {
        std::string pages;
        int fetched;
    };
    const Case cases[] = {{"0", 0}, {"", 0}, {"-3", 0}, {"2.9", 2}, {"３", 3}};
    for (const auto& c : cases) {
        site_.clearRequests();
        bool markersLoaded = false;
        box_.whileShown = [&] { markersLoaded = Loaded(W::标记窗口::id); };
        Collect(true, 0, c.pages, forms::kAnswerCancel);
        EXPECT_EQ(Requests(Finished().listPath), c.fetched) << c.pages;
        EXPECT_TRUE(markersLoaded) << "the marker window is loaded also when nothing was fetched";
    }
}

TEST_F(CollectionTest, PresenceThresholdsDependOnTheKindAndTheOverwriteBox) {
    struct Case {
        bool finished;
        std::size_t existing;
        bool overwrite;
        bool downloaded;
    };
    const Case cases[] = {
        {true, 30000, false, true},   {true, 30001, false, false},   {false, 30001, false, true},
        {false, 300000, false, true}, {false, 300001, false, false}, {false, 300001, true, true},
    };
    int serial = 900;
    for (const auto& c : cases) {
        const auto& category = c.finished ? Finished() : Serialised();
        const std::string title = "阈" + std::to_string(serial);
        ServeBooks(category, 1, {MakeBook(serial, title)});
        ServeFiles(serial, 350000);
        const std::string folder = c.finished ? "小说/完本/玄幻小说/" : "小说/连载中/玄幻奇幻/";
        WriteSized(At(folder + title + ".rar"), c.existing);
        site_.clearRequests();
        Collect(c.finished, 0, "1", forms::kAnswerCancel, c.overwrite);
        EXPECT_EQ(Requests("/down/2011/"), c.downloaded ? 1 : 0) << c.existing << " " << c.overwrite;
        EXPECT_EQ(fs::file_size(At(folder + title + ".rar")), c.downloaded ? 350000u : c.existing);
        ++serial;
    }
}

TEST_F(CollectionTest, OddEntriesAreCutAsTheMarkersSay) {
    // A link without "/" keeps its whole first-form serial (the entry text starts one byte into the link).
    Text plain = site.Entry(MakeBook(4242, "无斜线"));
    const std::string link = std::string("http://") + build::kListHost + "/Book/4242.html";
    plain.replace(plain.find(link), link.size(), "X4242.html");
    // The title head twice before the title tail: the title starts after the first one.
    Text twice = site.Entry(MakeBook(4343, "双头"));
    const Text titleHead = Gbk(".html\" target=\"_blank\">《");
    twice.insert(twice.find(titleHead) + titleHead.size(), Gbk("前") + titleHead);
    // An empty introduction: no record, nothing fetched.
    const Text empty = site.Entry(MakeBook(4444, "无简介", ""));
    ServePage(Finished(), 1, {plain, twice, empty});
    ServeFiles(4242);
    ServeFiles(4444);

    std::vector<std::string> reports;
    app::State().successCount = 0;
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(Requests("/down/2011/4242.rar"), 1);
    EXPECT_EQ(Requests("/txt/4242txt.html"), 1);
    EXPECT_EQ(Requests("/down/2011/4444.rar"), 0);
    // The doubled title is skipped, and counted as failed rather than as collected.
    EXPECT_EQ(Summary(), "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集1篇小说，失败1篇！是否查看文件？" +
                             FailureLine());
    EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/无斜线.rar")));
    // The doubled title holds '"' and '>': it can be no file name, so nothing of it is fetched or written.
    EXPECT_EQ(Requests("/down/2011/4343.rar") + Requests("/dianzishu/UploadPic/4343.jpg"), 0);
    for (const auto& entry : fs::recursive_directory_iterator(At("小说"))) {
        EXPECT_EQ(entry.path().filename().string().find("双头"), std::string::npos) << entry.path();
    }
}

TEST_F(CollectionTest, ACoverThatStaysSmallIsFetchedABoundedNumberOfTimes) {
    ServeBooks(Finished(), 1, {MakeBook(610, "小封面"), MakeBook(611, "好封面")});
    ServeFiles(610, 100, 1500);
    ServeFiles(611, 100, 2001);
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(Requests("/dianzishu/UploadPic/610.jpg"), app::kCoverAttempts);
    EXPECT_EQ(Requests("/dianzishu/UploadPic/611.jpg"), 1);
    EXPECT_EQ(Summary(), "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集2篇小说！是否查看文件？");
}

TEST_F(CollectionTest, TheReportShowsArchiveSizesInThousandsOfBytes) {
    struct Case {
        std::size_t bytes;
        std::string status; // the line after the author
    };
    const Case cases[] = {{1499, "压缩文件大小：1KB"}, {1500, "压缩文件大小：2KB"}, {0, "下载失败：数据不完整"}};
    int serial = 620;
    for (const auto& c : cases) {
        ServeBooks(Finished(), 1, {MakeBook(serial, "大小" + std::to_string(serial))});
        ServeFiles(serial, c.bytes);
        if (c.bytes == 0) {
            // A broken transfer: the archive is announced and never sent. The book failed; nothing is recorded.
            site_.respond("/down/2011/" + std::to_string(serial) + ".rar",
                          SiteResponse::CutAfter(std::string(50000, 'r'), 0));
        }
        std::string report;
        box_.whileShown = [&] { report = Report(); };
        Collect(true, 0, "1", forms::kAnswerCancel);
        EXPECT_NE(report.find("\r\n" + c.status + "\r\n简介："), std::string::npos) << report;
        EXPECT_EQ(Summary().find("失败") != std::string::npos, c.bytes == 0) << Summary();
        ++serial;
    }
}

TEST_F(CollectionTest, TheRunningReportFollowsEveryBook) {
    ServeBooks(Serialised(), 1, {MakeBook(630, "报告")});
    ServeFiles(630, 2500);
    std::string report;
    box_.whileShown = [&] { report = Report(); };
    app::State() = {};
    Collect(false, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(
        report,
        "标题：报告 \r\n作者：作者报告\r\n压缩文件大小：3KB\r\n简介：一段简介。\r\n\r\n"
        "               共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！  正在采集连载中的玄幻奇幻小说...");
}

TEST_F(CollectionTest, CancelRemovesTheCacheAndEnds) {
    ServeBooks(Finished(), 1, {MakeBook(640, "取消")});
    ServeFiles(640);
    fs::create_directories(At("缓存/旧的"));
    std::ofstream(At("缓存/旧的/1.html")) << "left by an earlier run";
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_FALSE(fs::exists(At("缓存")));
    EXPECT_EQ(end_.codes, std::vector<int>{0});
    EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/取消.rar"))); // the library stays
}

TEST_F(CollectionTest, OkOpensTheLibraryOnTheCollectedCategory) {
    ServeBooks(Serialised(), 1, {MakeBook(650, "连载书")});
    ServeFiles(650);
    Collect(false, 0, "1");
    EXPECT_TRUE(end_.codes.empty());
    EXPECT_TRUE(Loaded(W::书库窗口::id));
    EXPECT_FALSE(Loaded(W::主窗口::id));
    EXPECT_FALSE(Loaded(W::等待窗口::id));
    EXPECT_FALSE(Loaded(W::标记窗口::id));
    EXPECT_FALSE(app::ReadLogical(W::书库窗口::id, W::书库窗口::单选框1, forms::CheckButton::kChecked));
    EXPECT_TRUE(app::ReadLogical(W::书库窗口::id, W::书库窗口::单选框2, forms::CheckButton::kChecked));
    EXPECT_TRUE(app::ReadLogical(W::书库窗口::id, W::书库窗口::连载类, forms::kVisible));
    EXPECT_FALSE(app::ReadLogical(W::书库窗口::id, W::书库窗口::完本类, forms::kVisible));
    EXPECT_EQ(Utf8(Read(W::书库窗口::id, W::书库窗口::文件框1, forms::FileBox::kFolder)),
              Utf8(GetRunDirectory()) + "\\小说\\连载中\\玄幻奇幻");
    // The search hints are the collected category's books.
    EXPECT_EQ(GetListItemCount(W::书库窗口::id, W::书库窗口::列表框1), 1);
    EXPECT_EQ(Utf8(GetListItemText(W::书库窗口::id, W::书库窗口::列表框1, 0)), "连载书");
}

// The headless run answers OK with nobody to look: the run ends as after viewing, without a library window that would
// read a whole category (50,000 books: half a second and 50 MB) for nobody.
TEST_F(CollectionTest, WithNobodyToLookOkClosesTheWindowsWithoutOpeningTheLibrary) {
    ServeBooks(Serialised(), 1, {MakeBook(655, "无人看")});
    ServeFiles(655);
    fs::create_directories(At("缓存/旧的"));
    app::Collecting().viewLibrary = false;
    struct Restore {
        ~Restore() { app::Collecting().viewLibrary = true; }
    } restore;
    Collect(false, 0, "1");
    EXPECT_NE(Summary().find("本次成功采集1篇小说"), std::string::npos) << Summary();
    EXPECT_TRUE(end_.codes.empty()) << "the headless run ends the program with its own status";
    for (const std::uint32_t window : {W::书库窗口::id, W::主窗口::id, W::等待窗口::id, W::标记窗口::id})
        EXPECT_FALSE(Loaded(window)) << std::hex << window;
    EXPECT_FALSE(fs::exists(At("缓存"))) << "the main window takes the page cache with it";
    EXPECT_TRUE(fs::exists(At("小说/连载中/玄幻奇幻/无人看.rar")));
}

TEST_F(CollectionTest, TheIndexFollowsATitleIntoItsLatestCategory) {
    ServeBooks(Finished(), 1, {MakeBook(660, "同名")});
    ServeBooks(Serialised(), 1, {MakeBook(661, "同名")});
    ServeFiles(660);
    ServeFiles(661);
    Collect(true, 0, "1", forms::kAnswerCancel);
    Collect(false, 0, "1", forms::kAnswerCancel);
    const Text index = ReadIniValue(GetRunDirectory() + Gbk("\\小说\\ini\\小说.ini"), Gbk("小说"), Gbk("同名"));
    EXPECT_EQ(Utf8(index), Utf8(GetRunDirectory()) + "\\小说\\连载中\\玄幻奇幻\\同名.rar");
    EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/同名.rar"))); // the old archive stays
}

// 沒 and 郵 end in the byte of "]": the author records (sections named after the titles) and the index keys must be
// written and found again, in the files and through the library window's search.
TEST_F(CollectionTest, TitlesWithBracketTrailBytesGetTheirRecords) {
    const std::vector<std::string> titles = {"沒有退路", "慮郵"};
    ServeBooks(Finished(), 1, {MakeBook(680, titles[0]), MakeBook(681, titles[1])});
    ServeFiles(680);
    ServeFiles(681);
    Collect(true, 0, "1");
    ASSERT_TRUE(Loaded(W::书库窗口::id));
    const Text indexPath = GetRunDirectory() + Gbk("\\小说\\ini\\小说.ini");
    std::string index = "[小说]\r\n";
    for (const auto& t : titles) {
        const Text authorPath = GetRunDirectory() + Gbk("\\小说\\ini\\完本\\玄幻小说\\" + t + ".ini");
        EXPECT_EQ(Utf8(ReadIniValue(authorPath, Gbk(t), Gbk("作者"))), "作者" + t);
        EXPECT_EQ(Utf8(FileText(At("小说/ini/完本/玄幻小说/" + t + ".ini"))), "[" + t + "]\r\n作者=作者" + t + "\r\n");
        EXPECT_EQ(Utf8(ReadIniValue(indexPath, Gbk("小说"), Gbk(t))),
                  Utf8(GetRunDirectory()) + "\\小说\\完本\\玄幻小说\\" + t + ".rar");
        index += t + "=" + Utf8(GetRunDirectory()) + "\\小说\\完本\\玄幻小说\\" + t + ".rar\r\n";

        box_.answers = {forms::kAnswerCancel};
        Type(W::书库窗口::id, W::书库窗口::编辑框1, t);
        Click(W::书库窗口::id, W::书库窗口::按钮1);
        EXPECT_EQ(BoxTexts().back(), "寻找成功，是否打开？") << t;
    }
    EXPECT_EQ(Utf8(FileText(At("小说/ini/小说.ini"))), index);
}

TEST_F(CollectionTest, PagesWithLineFeedsOnlyAreCutAlike) {
    ServeBooks(Finished(), 1, {MakeBook(670, "换行一"), MakeBook(671, "换行二")}, true);
    ServeFiles(670);
    ServeFiles(671);
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(Requests("/down/2011/"), 2);
    EXPECT_EQ(FileText(At("小说/ini/完本/玄幻小说/换行二简介.ini")), Gbk("一段简介。"));
}

TEST_F(CollectionTest, TitlesThatAreNoFileNameWriteNothingAndTheRunGoesOn) {
    ServeBooks(Finished(), 1, {MakeBook(680, "..\\..\\逃出"), MakeBook(681, "a/b"), MakeBook(682, "正常")});
    for (int s : {680, 681, 682})
        ServeFiles(s);
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/正常.rar")));
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(run_.path()))
        files += entry.is_regular_file();
    // 正常: archive, cover, introduction, author file; the index and the record of the two skipped books (the lock
    // is the folder 小说's own). Nothing else anywhere.
    EXPECT_EQ(files, 6u);
    const std::string failures = Utf8(ToText(ReadFileBytes(Gbk("小说\\失败记录.txt"))));
    EXPECT_NE(failures.find("a/b  http://"), std::string::npos) << failures;
    EXPECT_NE(failures.find("跳过：书名不能用作文件名\r\n"), std::string::npos) << failures;
    EXPECT_FALSE(fs::exists(run_.path().parent_path() / "逃出.rar"));
}

TEST_F(CollectionTest, NoCategoryChosenIsReportedAfterTheFoldersAreMade) {
    ASSERT_TRUE(Start());
    app::WriteInteger(W::主窗口::id, W::主窗口::完本类, forms::ComboBox::kSelection, -1);
    Click(W::主窗口::id, W::主窗口::按钮2);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"小说种类还未选择"});
    EXPECT_EQ(box_.shown[0].style, 0u);
    EXPECT_TRUE(fs::is_directory(At("小说/完本/校园小说")));
    EXPECT_TRUE(Shown(W::主窗口::id));
    EXPECT_FALSE(Loaded(W::等待窗口::id));
}

TEST_F(CollectionTest, CollectingAllFinishedCategoriesVisitsEachWithThePageFieldRestored) {
    const auto& categories = demo::DemoCatalogue::Categories();
    ServeBooks(categories[0], 1, {MakeBook(690, "全部一")});
    ServeBooks(categories[3], 1, {MakeBook(691, "全部二")});
    ServeFiles(690);
    ServeFiles(691);
    ASSERT_TRUE(Start());
    app::WriteText(W::主窗口::id, W::主窗口::编辑框1, forms::EditBox::kContent, "2");
    box_.answers = {forms::kAnswerCancel};
    forms::RaiseEvent(W::主窗口::id, W::主窗口::按钮1, 0); // the button is hidden; its event still has a handler

    // Each of the 16 categories starts with 2 pages: a full first page leads to the second.
    for (int c = 0; c < 16; ++c) {
        const bool full = c == 0 || c == 3;
        EXPECT_EQ(Requests(categories[static_cast<std::size_t>(c)].listPath), full ? 2 : 1) << c;
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "采集完成，共采集2篇小说，其中已存在0篇小说，本次成功采集2篇小说！是否查看文件？"});
    EXPECT_TRUE(fs::exists(At("小说/完本/黑道小说/全部二.rar")));
    EXPECT_EQ(end_.codes, std::vector<int>{0});
}
