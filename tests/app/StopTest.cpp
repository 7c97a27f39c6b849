// SPDX-License-Identifier: MIT
// The wait window during a run: its title says where the run is, and closing it stops the run.
#include "app/Properties.h"
#include "services/Ini.h"
#include "tests/app/CollectionFixture.h"

#include <QTimer>
#include <QWidget>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

TEST_F(CollectionTest, ClosingTheWaitWindowStopsTheRunWithItsSummary) {
    ServeBooks(Finished(), 1, {MakeBook(901, "先到"), MakeBook(902, "半途"), MakeBook(903, "未到")});
    for (int serial : {901, 902, 903})
        ServeFiles(serial);
    site_.respond("/down/2011/902.rar", SiteResponse::Drip(std::string(40000, 'r'), 20)); // minutes, if let run

    // While the second archive comes in, the user reads the title and closes the window.
    std::string title;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (Requests("/down/2011/902.rar") == 0 || !Loaded(W::等待窗口::id)) return;
        title = Utf8(Read(W::等待窗口::id, W::等待窗口::self, forms::WindowControl::kCaption));
        if (title.find("本 ") == std::string::npos) return; // no bytes in yet
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
