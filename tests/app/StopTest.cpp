// SPDX-License-Identifier: MIT
// The wait window during a run: its title says where the run is, and closing it, its 停止 button or Escape stops the
// run.
#include "app/Properties.h"
#include "app/UserActions.h"
#include "services/Ini.h"
#include "tests/app/CollectionFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

namespace {

// The wait window's title once the second of three books' archive has its first bytes in ("第1/1页 第2/3本 1KB"),
// empty before. The first book's bytes show in the title too, with 第1/3本.
std::string TitleWithTheSecondArchiveComingIn() {
    if (!forms::IsWindowLoaded(W::等待窗口::id)) return {};
    std::string title = Utf8(app::ReadText(W::等待窗口::id, W::等待窗口::self, forms::WindowControl::kCaption));
    const bool secondBook = title.find("第2/3本 ") != std::string::npos;
    const bool bytesIn = title.ends_with("KB") || title.ends_with("MB");
    return secondBook && bytesIn ? title : std::string();
}

} // namespace

TEST_F(CollectionTest, ClosingTheWaitWindowStopsTheRunWithItsSummary) {
    ServeBooks(Finished(), 1, {MakeBook(901, "先到"), MakeBook(902, "半途"), MakeBook(903, "未到")});
    for (int serial : {901, 902, 903})
        ServeFiles(serial);
    site_.respond("/down/2011/902.rar", SiteResponse::Drip(std::string(40000, 'r'), 20)); // minutes, if let run

    // While the second archive comes in, the user reads the title and closes the window.
    std::string title;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        title = TitleWithTheSecondArchiveComingIn();
        if (title.empty()) return;
        user.stop();
        forms::FindLiveControl(W::等待窗口::id, 0)->widget()->close();
    });
    user.start(20);
    Collect(true, 0, "1", forms::kAnswerOk);

    EXPECT_EQ(title.rfind("第1/1页 第2/3本 ", 0), 0u) << title;
    EXPECT_EQ(
        BoxTexts(),
        std::vector<std::string>{"采集已停止，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？"})
        << "no run-time error, no failed book";
    EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/先到.rar")));
    EXPECT_FALSE(fs::exists(At("小说/完本/玄幻小说/半途.rar")));
    EXPECT_FALSE(fs::exists(At("小说/ini/完本/玄幻小说/半途简介.ini")));
    EXPECT_FALSE(fs::exists(At("小说/完本/玄幻小说/未到.rar"))) << "nothing after the stop, fetched ahead or not";
    EXPECT_EQ(Utf8(ReadIniValue(Gbk(At("小说/ini/小说.ini").string()), Gbk("小说"), Gbk("半途"))), "");
    EXPECT_NE(Utf8(ReadIniValue(Gbk(At("小说/ini/小说.ini").string()), Gbk("小说"), Gbk("先到"))), "");
    EXPECT_FALSE(fs::exists(At("小说/失败记录.txt"))) << "a stopped book is no failed book";
    // OK does what it does after a finished run.
    EXPECT_TRUE(Loaded(W::书库窗口::id));
    EXPECT_FALSE(Loaded(W::等待窗口::id));
}

namespace {

// A run of three books whose second archive comes very slowly; `stop` is what the user does once its first bytes are
// in. Checks the summary (answered OK) and what the stop left.
class StopTest : public CollectionTest {
protected:
    void StopWhileTheSecondArchiveComesIn(const std::function<void()>& stop) {
        ServeBooks(Finished(), 1, {MakeBook(911, "先到"), MakeBook(912, "半途"), MakeBook(913, "未到")});
        for (int serial : {911, 912, 913})
            ServeFiles(serial);
        site_.respond("/down/2011/912.rar", SiteResponse::Drip(std::string(40000, 'r'), 20));
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (TitleWithTheSecondArchiveComingIn().empty()) return;
            user.stop();
            stop();
        });
        user.start(20);
        Collect(true, 0, "1", forms::kAnswerOk);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                                  "采集已停止，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？"});
        EXPECT_TRUE(fs::exists(At("小说/完本/玄幻小说/先到.rar")));
        EXPECT_FALSE(fs::exists(At("小说/完本/玄幻小说/半途.rar")));
        EXPECT_FALSE(fs::exists(At("小说/完本/玄幻小说/未到.rar")));
        EXPECT_TRUE(Loaded(W::书库窗口::id));
        EXPECT_FALSE(Loaded(W::等待窗口::id));
    }

    static QWidget* Widget(std::uint32_t control) { return forms::FindLiveControl(W::等待窗口::id, control)->widget(); }
};

} // namespace

TEST_F(StopTest, TheStopButtonStopsTheRunAsClosingDid) {
    StopWhileTheSecondArchiveComesIn([] { app::ClickControl(W::等待窗口::id, W::等待窗口::停止按钮); });
}

TEST_F(StopTest, EscapeStopsTheRunAsClosingDid) {
    StopWhileTheSecondArchiveComesIn([] {
        // Escape where the focus is, on the report: the report leaves it to the window.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(Widget(W::等待窗口::编辑框1), &press);
    });
}

TEST_F(StopTest, TheCloseBoxIsThereAndStopsTheRun) {
    StopWhileTheSecondArchiveComesIn([] {
        QWidget* frame = Widget(W::等待窗口::self);
        EXPECT_TRUE(frame->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_TRUE(frame->windowFlags() & Qt::WindowSystemMenuHint);
        frame->close(); // what the close box asks
    });
}

// During a run the report can be read and copied, not typed into; it fills the window above the 停止 button, which
// stays centred under it as the window changes size.
TEST_F(StopTest, TheReportIsReadOnlyAndFillsTheWindowAboveTheButton) {
    ServeBooks(Finished(), 1, {MakeBook(921, "读")});
    ServeFiles(921);
    bool checked = false;
    box_.whileShown = [&] {
        checked = true;
        auto* report = static_cast<QPlainTextEdit*>(Widget(W::等待窗口::编辑框1));
        EXPECT_TRUE(report->isReadOnly());
        const std::string before = Report();
        QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(report, &typed);
        EXPECT_EQ(Report(), before);

        QWidget* frame = Widget(W::等待窗口::self);
        QWidget* button = Widget(W::等待窗口::停止按钮);
        for (const QSize size : {QSize(711, 230), QSize(400, 300), QSize(900, 120)}) {
            frame->resize(size);
            app::ProcessPendingEvents();
            const QRect inside = frame->contentsRect();
            EXPECT_EQ(report->geometry().topLeft(), inside.topLeft()) << size.width();
            EXPECT_EQ(report->width(), inside.width()) << size.width();
            EXPECT_LT(report->geometry().bottom(), button->geometry().top()) << size.width();
            EXPECT_TRUE(inside.contains(button->geometry())) << size.width();
            EXPECT_LE(std::abs(button->geometry().center().x() - inside.center().x()), 1) << size.width();
        }
    };
    Collect(true, 0, "1", forms::kAnswerCancel);
    EXPECT_TRUE(checked);
}
