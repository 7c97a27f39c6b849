// SPDX-License-Identifier: MIT
#include "BuildConfig.h"
#include "app/Properties.h"
#include "services/Files.h"
#include "tests/app/AppFixture.h"

#include <fstream>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

namespace {
const char kAcceptText[] = "更新文件不知道怎么回事一直误报，放心绝对没有毒，如果更新请确认！！";
} // namespace

TEST_F(AppTest, TheVersionCheckOffersOnlyANewerVersion) {
    struct Case {
        std::string answer;
        bool offered;
    };
    const Case cases[] = {{"1171", true}, {"1171\r\n", true}, {"1170", false}, {"1169", false},
                          {"", false},    {"abc", false},     {"1170.5", true}};
    for (const auto& c : cases) {
        site_.serve("/pavenobk/banben", c.answer);
        ASSERT_TRUE(Start(true));
        Settle();
        EXPECT_EQ(Shown(W::更新窗口::id), c.offered) << c.answer;
        EXPECT_EQ(Loaded(W::更新窗口::id), c.offered) << c.answer;
        EXPECT_EQ(app::ReadLogical(W::主窗口::id, W::主窗口::self, app::kVisible), !c.offered) << c.answer;
        EXPECT_EQ(Shown(W::主窗口::id), !c.offered) << c.answer;
    }
}

TEST_F(AppTest, NoAnswerFromTheUpdateServerCountsAsNoNewerVersion) {
    ASSERT_TRUE(Start(true)); // the site answers 404 with a page that is no number
    Settle();
    EXPECT_FALSE(Loaded(W::更新窗口::id));
    EXPECT_TRUE(Shown(W::主窗口::id));
}

TEST_F(AppTest, AcceptingTheUpdateSavesAndStartsTheUpdaterAndEnds) {
    site_.serve("/pavenobk/banben", "1171");
    site_.serve("/pavenobk/gengxincx", "http://" + std::string(build::kUpdateHost) + "/files/updater.bin");
    site_.serve("/files/updater.bin", "#!/bin/sh\necho new\n");
    ASSERT_TRUE(Start(true));
    Settle();
    box_.answers = {forms::kAnswerOk};
    Click(W::更新窗口::id, W::更新窗口::按钮1);

    ASSERT_EQ(BoxTexts(), std::vector<std::string>{kAcceptText});
    EXPECT_EQ(box_.shown[0].style, 1u);
    std::ifstream in(At("Paveno-更新.exe"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "#!/bin/sh\necho new\n");
    ASSERT_EQ(shell_.opened.size(), 1u);
    EXPECT_EQ(shell_.opened[0], GetRunDirectory() + Gbk("\\Paveno-更新.exe"));
    EXPECT_EQ(end_.codes, std::vector<int>{0});
}

TEST_F(AppTest, AFailedUpdaterDownloadWritesNothingAndBringsTheMainWindowBack) {
    site_.serve("/pavenobk/banben", "1171"); // no updater address: both reads come back empty
    ASSERT_TRUE(Start(true));
    Settle();
    box_.answers = {forms::kAnswerOk, forms::kAnswerOk};
    Click(W::更新窗口::id, W::更新窗口::按钮1);
    Settle();

    ASSERT_EQ(box_.shown.size(), 2u);
    EXPECT_EQ(BoxTexts()[1], "更新文件下载失败，请稍后再试。");
    EXPECT_FALSE(fs::exists(At("Paveno-更新.exe")));
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_TRUE(end_.codes.empty());
    EXPECT_FALSE(Loaded(W::更新窗口::id));
    EXPECT_TRUE(Shown(W::主窗口::id));
}

TEST_F(AppTest, DecliningOrLeavingTheUpdateShowsTheMainWindowAgain) {
    site_.serve("/pavenobk/banben", "1171");
    for (bool viaExitButton : {false, true}) {
        ASSERT_TRUE(Start(true));
        Settle();
        ASSERT_FALSE(Shown(W::主窗口::id));
        if (viaExitButton) {
            Click(W::更新窗口::id, W::更新窗口::按钮2);
        } else {
            box_.answers = {forms::kAnswerCancel};
            Click(W::更新窗口::id, W::更新窗口::按钮1);
        }
        Settle();
        EXPECT_FALSE(Loaded(W::更新窗口::id)) << viaExitButton;
        EXPECT_TRUE(Shown(W::主窗口::id)) << viaExitButton;
        EXPECT_TRUE(end_.codes.empty());
    }
}

TEST_F(AppTest, EachContactButtonOpensItsLinkOnceAndDisappears) {
    ASSERT_TRUE(Start());
    struct Case {
        std::uint32_t button;
        std::string linkStart;
    };
    const Case cases[] = {{W::主窗口::超级按钮1, "http://shang.qq.com/wpa/qunwpa?idkey="},
                          {W::主窗口::超级按钮2, "http://wpa.qq.com/msgrd?v=3&uin="}};
    for (const auto& c : cases) {
        shell_.opened.clear();
        Click(W::主窗口::id, c.button);
        Settle();
        ASSERT_EQ(shell_.opened.size(), 1u) << c.linkStart;
        EXPECT_EQ(shell_.opened[0].rfind(c.linkStart, 0), 0u) << shell_.opened[0];
        EXPECT_FALSE(app::ReadLogical(W::主窗口::id, c.button, app::kVisible));
    }
    EXPECT_NE(shell_.opened[0].find("&site=qq&menu=yes"), std::string::npos);
}
