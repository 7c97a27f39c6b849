// SPDX-License-Identifier: MIT
// Failures a user can find: the wait window keeps the run's failed books under the current one, the summary says
// where they are recorded, and the title counts the pages of the run in order.
#include "app/Collector.h"
#include "app/FailureList.h"
#include "app/Properties.h"
#include "tests/app/CollectionFixture.h"

#include <QApplication>
#include <QRegularExpression>
#include <QWidget>

using namespace paveno;
using namespace paveno::test;

TEST(FailureList, ListsTheLatestFirstAndCountsWhatItDoesNotShow) {
    app::FailureList list;
    const Text record = Gbk("/书库\\小说\\失败记录.txt"); // built on the run directory, as every path is
    EXPECT_EQ(list.ReportText(), "");
    EXPECT_EQ(list.SummaryLine(record), "") << "no failure, no line";

    list.Add(Gbk("甲"), Gbk("下载失败：服务器返回404"));
    list.Add(Gbk("乙"), Gbk("跳过：书名太长"));
    EXPECT_EQ(Utf8(list.ReportText()),
              "\r\n\r\n本次失败的小说（最新在前）：\r\n  乙：跳过：书名太长\r\n  甲：下载失败：服务器返回404");
    EXPECT_EQ(Utf8(list.SummaryLine(record)), "\r\n失败的小说及原因见：/书库/小说/失败记录.txt");

    for (int i = 0; i < 30; ++i)
        list.Add(Gbk("书" + std::to_string(i)), Gbk("数据不完整"));
    const std::string shown = Utf8(list.ReportText());
    EXPECT_NE(shown.find("（最新在前）：\r\n  书29：数据不完整\r\n  书28："), std::string::npos) << shown;
    EXPECT_EQ(shown.find("书9："), std::string::npos) << "the oldest are left to the record file";
    EXPECT_NE(shown.find("\r\n  书10：数据不完整\r\n  ……另有12本，见失败记录"), std::string::npos) << shown;
    EXPECT_EQ(list.size(), 32u);

    list.Clear();
    EXPECT_EQ(list.ReportText(), "");
}

namespace {

// Every title the wait window shows, as it changes.
class TitleWatch : public QObject {
public:
    std::vector<std::string> titles;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) {
            auto* w = qobject_cast<QWidget*>(watched);
            forms::Control* frame = forms::FindLiveControl(W::等待窗口::id, 0);
            if (w && frame && w == frame->widget()) titles.push_back(w->windowTitle().toStdString());
        }
        return false;
    }
};

} // namespace

TEST_F(CollectionTest, TheReportKeepsTheRunsFailuresAndTheSummaryNamesTheirRecord) {
    ServeBooks(
        Finished(), 1,
        {MakeBook(951, "头一本坏"), MakeBook(952, "好的"), MakeBook(953, "又一本坏"), MakeBook(954, "最后好的")});
    for (int serial : {951, 952, 953, 954})
        ServeFiles(serial);
    site_.respond("/down/2011/951.rar", SiteResponse::Page("<html>404</html>", 404));
    site_.respond("/down/2011/953.rar", SiteResponse::Page("<html>busy</html>", 500));
    std::vector<std::string> reports;
    app::Collecting().reports = [&](const Text&) { reports.push_back(Report()); };
    std::string last;
    box_.whileShown = [&] { last = Report(); };
    Collect(true, 0, "1", forms::kAnswerCancel);
    app::Collecting().reports = {};

    // The book after a failure still shows the failure under it; the last report lists both, the latest first.
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_NE(reports[1].find("标题：好的 \r\n"), std::string::npos);
    EXPECT_NE(reports[1].find("（最新在前）：\r\n  头一本坏：下载失败：服务器返回404"), std::string::npos)
        << reports[1];
    EXPECT_EQ(last.rfind("标题：最后好的 \r\n", 0), 0u) << "the current book comes first: " << last;
    EXPECT_NE(
        last.find(
            "正在采集已完结的玄幻小说...\r\n\r\n本次失败的小说（最新在前）：\r\n  又一本坏：下载失败：服务器返回500"
            "\r\n  头一本坏：下载失败：服务器返回404"),
        std::string::npos)
        << last;
    EXPECT_EQ(Summary(), "采集完成，共采集4篇小说，其中已存在0篇小说，本次成功采集2篇小说，失败2篇！是否查看文件？" +
                             FailureLine());

    // The next run starts with an empty list, and a run without failures says nothing of the record.
    site_.serve("/down/2011/951.rar", std::string(40000, 'r'));
    site_.serve("/down/2011/953.rar", std::string(40000, 'r'));
    last.clear();
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_EQ(last.find("本次失败"), std::string::npos) << last;
    EXPECT_EQ(Summary(), "采集完成，共采集4篇小说，其中已存在2篇小说，本次成功采集2篇小说！是否查看文件？");
}

// The fetch phase names its list pages apart, so that 第N页 counts up from the first page to the last and never back.
TEST_F(CollectionTest, TheTitleCountsThePagesInOrder) {
    std::vector<demo::Book> page1, page2;
    for (int i = 0; i < 3; ++i) {
        page1.push_back(MakeBook(960 + i, "一页" + std::to_string(i)));
        page2.push_back(MakeBook(970 + i, "二页" + std::to_string(i)));
        ServeFiles(960 + i);
        ServeFiles(970 + i);
    }
    ServeBooks(Finished(), 1, page1);
    ServeBooks(Finished(), 2, page2);
    TitleWatch watch;
    qApp->installEventFilter(&watch);
    Collect(true, 0, "2", forms::kAnswerCancel);
    qApp->removeEventFilter(&watch);

    static const QRegularExpression page(QStringLiteral("^第(\\d+)/(\\d+)页"));
    int previous = 0, harvested = 0;
    bool fetching = true;
    for (const std::string& title : watch.titles) {
        const auto m = page.match(QString::fromStdString(title));
        if (!m.hasMatch()) {
            EXPECT_TRUE(fetching && title.rfind("读取列表页 ", 0) == 0) << title;
            continue;
        }
        fetching = false;
        ++harvested;
        EXPECT_GE(m.captured(1).toInt(), previous) << title;
        EXPECT_EQ(m.captured(2).toInt(), 2) << title;
        previous = m.captured(1).toInt();
    }
    EXPECT_EQ(previous, 2);
    EXPECT_GE(harvested, 6);
}
