// SPDX-License-Identifier: MIT
#include "BuildConfig.h"
#include "app/Properties.h"
#include "app/UpdateWindow.h"
#include "services/ConnectTo.h"
#include "services/Http.h"
#include "services/RunDirectory.h"
#include "services/Signature.h"
#include "system/Transfers.h"
#include "tests/app/AppFixture.h"
#include "tools/demosite/DemoCatalogue.h"

#include <QLineEdit>

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>

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
        EXPECT_EQ(app::ReadLogical(W::主窗口::id, W::主窗口::self, forms::kVisible), !c.offered) << c.answer;
        EXPECT_EQ(Shown(W::主窗口::id), !c.offered) << c.answer;
        if (!c.offered) continue;
        // The offered window shows the versions for reading; typing changes neither.
        for (const std::uint32_t field : {W::更新窗口::编辑框2, W::更新窗口::编辑框3}) {
            const auto* edit = qobject_cast<QLineEdit*>(forms::FindLiveControl(W::更新窗口::id, field)->widget());
            ASSERT_TRUE(edit);
            EXPECT_TRUE(edit->isReadOnly()) << c.answer;
        }
    }
}

TEST_F(AppTest, NoAnswerFromTheUpdateServerCountsAsNoNewerVersion) {
    ASSERT_TRUE(Start(true)); // the site answers 404 with a page that is no number
    Settle();
    EXPECT_FALSE(Loaded(W::更新窗口::id));
    EXPECT_TRUE(Shown(W::主窗口::id));
}

// A server that takes no connection, or takes it and never answers, holds the start only as long as the check's
// limits allow; then it counts as no answer. The limits are lowered here as a caller may lower them.
TEST_F(AppTest, AnUpdateServerThatNeverAnswersCountsAsNoAnswer) {
    HttpSettings quick = GetHttpSettings(); // the fixture puts the program's own back
    quick.connectTimeout = std::chrono::milliseconds(300);
    quick.totalTime = std::chrono::milliseconds(1000);
    UnansweredPort down;
    for (bool connects : {true, false}) {
        SCOPED_TRACE(connects ? "silent server" : "no connection");
        site_.respond("/pavenobk/banben", SiteResponse::Silent());
        if (!connects) SetConnectTo({std::string(build::kUpdateHost) + ":80:127.0.0.1:" + std::to_string(down.port())});
        SetHttpSettings(quick);
        ASSERT_TRUE(Start(true));
        Settle();
        EXPECT_TRUE(Shown(W::主窗口::id));
        EXPECT_FALSE(Loaded(W::更新窗口::id));
        // The check's own limits were for the check only.
        EXPECT_EQ(GetHttpSettings().connectTimeout, quick.connectTimeout);
        EXPECT_EQ(GetHttpSettings().totalTime, quick.totalTime);
    }
}

TEST_F(AppTest, AcceptingTheUpdateSavesAndStartsTheUpdaterAndEnds) {
    site_.serve("/pavenobk/banben", "1171");
    site_.serve("/pavenobk/gengxincx", "http://" + std::string(build::kUpdateHost) + "/files/updater.bin");
    site_.serve("/files/updater.bin", "#!/bin/sh\necho new\n");
    // An updater the desktop cannot start ends nothing: the user is told where it lies and gets the main window.
    for (bool starts : {true, false}) {
        SCOPED_TRACE(starts ? "updater started" : "updater not started");
        box_.shown.clear();
        shell_.opened.clear();
        end_.codes.clear();
        shell_.results = {starts};
        ASSERT_TRUE(Start(true));
        Settle();
        box_.answers = {forms::kAnswerOk, forms::kAnswerNo};
        Click(W::更新窗口::id, W::更新窗口::按钮1);
        Settle();

        const std::string updater = At("Paveno-更新.exe").string();
        std::vector<std::string> boxes{kAcceptText};
        if (!starts) boxes.push_back("无法打开文件：\r\n" + updater + "\r\n是否打开所在的文件夹？");
        EXPECT_EQ(BoxTexts(), boxes);
        EXPECT_EQ(box_.shown[0].style, 1u);
        std::ifstream in(At("Paveno-更新.exe"), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "#!/bin/sh\necho new\n");
        ASSERT_EQ(shell_.opened.size(), 1u);
        EXPECT_EQ(shell_.opened[0], GetRunDirectory() + Gbk("\\Paveno-更新.exe"));
        EXPECT_EQ(end_.codes, starts ? std::vector<int>{0} : std::vector<int>{});
        if (!starts) {
            EXPECT_FALSE(Loaded(W::更新窗口::id));
            EXPECT_TRUE(Shown(W::主窗口::id));
        }
    }
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
    enum class Way { Decline, ExitButton, TitleBarClose };
    for (Way way : {Way::Decline, Way::ExitButton, Way::TitleBarClose}) {
        SCOPED_TRACE(static_cast<int>(way));
        ASSERT_TRUE(Start(true));
        Settle();
        ASSERT_FALSE(Shown(W::主窗口::id));
        switch (way) {
        case Way::Decline:
            box_.answers = {forms::kAnswerCancel};
            Click(W::更新窗口::id, W::更新窗口::按钮1);
            break;
        case Way::ExitButton:
            Click(W::更新窗口::id, W::更新窗口::按钮2);
            break;
        case Way::TitleBarClose:
            forms::FindLiveControl(W::更新窗口::id, 0)->widget()->close();
            break;
        }
        Settle();
        EXPECT_FALSE(Loaded(W::更新窗口::id));
        EXPECT_TRUE(Shown(W::主窗口::id));
        EXPECT_TRUE(end_.codes.empty());
    }
}

TEST_F(AppTest, EachContactButtonOpensItsLinkOnceAndDisappears) {
    ASSERT_TRUE(Start());
    struct Case {
        std::uint32_t button;
        std::string linkStart;
        bool browser; // whether the desktop has something to open links with
    };
    const Case cases[] = {{W::主窗口::超级按钮1, "http://shang.qq.com/wpa/qunwpa?idkey=", true},
                          {W::主窗口::超级按钮2, "http://wpa.qq.com/msgrd?v=3&uin=", false}};
    for (const auto& c : cases) {
        shell_.opened.clear();
        box_.shown.clear();
        shell_.result = c.browser;
        Click(W::主窗口::id, c.button);
        Settle();
        ASSERT_EQ(shell_.opened.size(), 1u) << c.linkStart;
        const std::string link = GbkToUtf8Lossy(shell_.opened[0]);
        EXPECT_EQ(link.rfind(c.linkStart, 0), 0u) << link;
        EXPECT_FALSE(app::ReadLogical(W::主窗口::id, c.button, forms::kVisible));
        // Without a browser the user gets the link to paste into one.
        EXPECT_EQ(BoxTexts(), c.browser ? std::vector<std::string>{}
                                        : std::vector<std::string>{"无法打开链接，已复制到剪贴板：\r\n" + link});
        if (!c.browser) {
            EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), link);
        }
    }
    EXPECT_NE(shell_.opened[0].find("&site=qq&menu=yes"), std::string::npos);
}

namespace {

// The update server's answer comes once the test opens the gate; meanwhile the check waits for it, and the user acts.
class LateAnswerTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        site_.respond("/pavenobk/banben", SiteResponse::HeldBy(answer_, "1171"));
    }
    // The check has asked and waits for its answer.
    bool CheckWaits() const {
        const auto all = site_.requests();
        return std::any_of(all.begin(), all.end(), [](const SiteRequest& r) { return r.target == "/pavenobk/banben"; });
    }
    // Once the check waits, `act` runs (within the check's wait, as a user's click would), then the answer comes.
    // Runs the windows until the answer has been taken.
    void ActWhileTheCheckWaits(const std::function<void()>& act) {
        bool acted = false;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (acted || !CheckWaits()) return;
            user.stop();
            act();
            acted = true;
            answer_->Open();
        });
        ASSERT_TRUE(Start(true));
        user.start(20);
        EXPECT_TRUE(WaitUntil([&] { return acted && site_.openConnections() == 0; }));
        Settle();
        ASSERT_TRUE(acted);
    }

    std::shared_ptr<SiteGate> answer_ = std::make_shared<SiteGate>();
};

} // namespace

// The windows go on while the update server is slow to answer: a user may collect a whole category meanwhile and
// answer its summary with OK, which closes the main window. The late answer then offers nothing and raises no error.
TEST_F(LateAnswerTest, ALateUpdateAnswerAfterACollectionOffersNothing) {
    const demo::DemoCatalogue catalogue({.booksPerCategory = 1, .archiveBytes = 500});
    const auto& category = demo::DemoCatalogue::Categories()[0];
    const std::string page = category.listPath + "1.html";
    site_.serve(page, std::string(ViewOf(catalogue.Answer(page).body)));
    for (const std::string path : {"/txt/100000txt.html", "/dianzishu/UploadPic/100000.jpg", "/down/2011/100000.rar"})
        site_.serve(path, std::string(ViewOf(catalogue.Answer(path).body)));

    ASSERT_NO_FATAL_FAILURE(ActWhileTheCheckWaits([&] {
        Type(W::主窗口::id, W::主窗口::编辑框2, "0");
        Click(W::主窗口::id, W::主窗口::按钮3);
        Pick(W::主窗口::id, W::主窗口::完本类, 0);
        box_.answers = {forms::kAnswerOk};
        Click(W::主窗口::id, W::主窗口::按钮2);
    }));
    EXPECT_EQ(
        BoxTexts(),
        std::vector<std::string>{"采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？"})
        << "no run-time error";
    EXPECT_TRUE(Shown(W::书库窗口::id));
    EXPECT_FALSE(Loaded(W::更新窗口::id));
    EXPECT_TRUE(end_.codes.empty());
}

// With a key built in, only an updater whose signature beside it verifies is written and started. A download that is
// not whole and 2xx is no updater, key or not. Nothing of a refused updater is kept, and an old one stays as it was.
// The fixture puts the build's key back.
TEST_F(AppTest, OnlyAWholeUpdaterSignedByTheBuildsKeyIsKeptAndStarted) {
    const std::string updaterUrl = "http://" + std::string(build::kUpdateHost) + "/files/updater.bin";
    const std::string updater = "#!/bin/sh\necho new\n";
    const auto seed = *KeyFromHex(demo::kDemoUpdateSeed);
    auto signed_ = [&](std::string_view bytes) { return std::string(ViewOf(SignWithSeed(seed, BytesOf(bytes)))); };
    std::vector<std::uint8_t> otherSeed(seed);
    otherSeed[0] ^= 1;
    struct Case {
        const char* what;
        std::string key; // the build's key; empty: none
        SiteResponse updater;
        std::optional<SiteResponse> signature; // none: the address answers 404
        const char* told;                      // the box after the question; nullptr: the updater is started
    };
    const Case cases[] = {
        {"signed", demo::kDemoUpdateKey, SiteResponse::Page(updater), SiteResponse::Page(signed_(updater)), nullptr},
        {"signed by another key", demo::kDemoUpdateKey, SiteResponse::Page(updater),
         SiteResponse::Page(std::string(ViewOf(SignWithSeed(otherSeed, BytesOf(updater))))), "更新文件校验失败"},
        {"signature of other bytes", demo::kDemoUpdateKey, SiteResponse::Page(updater),
         SiteResponse::Page(signed_("#!/bin/sh\necho old\n")), "更新文件校验失败"},
        {"no signature", demo::kDemoUpdateKey, SiteResponse::Page(updater), std::nullopt, "更新文件校验失败"},
        {"signature cut", demo::kDemoUpdateKey, SiteResponse::Page(updater),
         SiteResponse::CutAfter(signed_(updater), 40), "更新文件校验失败"},
        {"unchecked build", "", SiteResponse::Page(updater), std::nullopt, nullptr},
        {"404 updater", "", SiteResponse::Page(updater, 404), std::nullopt, "更新文件下载失败，请稍后再试。"},
        {"500 updater, signed", demo::kDemoUpdateKey, SiteResponse::Page(updater, 500),
         SiteResponse::Page(signed_(updater)), "更新文件下载失败，请稍后再试。"},
        {"cut updater", "", SiteResponse::CutAfter(updater, 5), std::nullopt, "更新文件下载失败，请稍后再试。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LocalSite site;
        site.serve("/pavenobk/banben", "1171");
        site.serve("/pavenobk/gengxincx", updaterUrl);
        site.respond("/files/updater.bin", c.updater);
        if (c.signature) site.respond("/files/updater.bin.sig", *c.signature);
        SetConnectTo({site.connectTo(build::kUpdateHost)});
        app::SetUpdateKey(c.key);
        box_.shown.clear();
        shell_.opened.clear();
        end_.codes.clear();
        shell_.results = {true};
        {
            std::ofstream old(At("Paveno-更新.exe"), std::ios::binary | std::ios::trunc);
            old << "old updater";
        }
        ASSERT_TRUE(Start(true));
        Settle();
        box_.answers = {forms::kAnswerOk, forms::kAnswerOk};
        Click(W::更新窗口::id, W::更新窗口::按钮1);
        Settle();

        std::ifstream in(At("Paveno-更新.exe"), std::ios::binary);
        const std::string kept(std::istreambuf_iterator<char>(in), {});
        std::vector<std::string> boxes{kAcceptText};
        if (c.told) boxes.push_back(c.told);
        EXPECT_EQ(BoxTexts(), boxes);
        EXPECT_EQ(kept, c.told ? "old updater" : updater);
        EXPECT_EQ(shell_.opened.size(), c.told ? 0u : 1u);
        EXPECT_EQ(end_.codes, c.told ? std::vector<int>{} : std::vector<int>{0});
        if (c.told) {
            EXPECT_TRUE(Shown(W::主窗口::id));
        }
    }
}

// A link at the updater's name is replaced by the updater; the file it pointed to is not written through.
TEST_F(AppTest, TheUpdaterReplacesALinkAtItsNameInsteadOfWritingThroughIt) {
    site_.serve("/pavenobk/banben", "1171");
    site_.serve("/pavenobk/gengxincx", "http://" + std::string(build::kUpdateHost) + "/files/updater.bin");
    site_.serve("/files/updater.bin", "#!/bin/sh\necho new\n");
    const TempRunDirectory elsewhere;
    const fs::path outside = elsewhere.path() / "bashrc";
    { std::ofstream(outside) << "untouched"; }
    fs::create_symlink(outside, At("Paveno-更新.exe"));
    shell_.results = {true};
    ASSERT_TRUE(Start(true));
    Settle();
    box_.answers = {forms::kAnswerOk};
    Click(W::更新窗口::id, W::更新窗口::按钮1);
    Settle();

    std::ifstream in(outside);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "untouched");
    EXPECT_FALSE(fs::is_symlink(At("Paveno-更新.exe")));
    std::ifstream updater(At("Paveno-更新.exe"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(updater), {}), "#!/bin/sh\necho new\n");
    EXPECT_EQ(end_.codes, std::vector<int>{0});
}

// A collection the user ran while the answer was on its way, even one that went back to the main window (the site
// out of reach), means the user is at work: the late answer offers nothing.
TEST_F(LateAnswerTest, ALateUpdateAnswerAfterAnyCollectionOffersNothing) {
    ASSERT_NO_FATAL_FAILURE(ActWhileTheCheckWaits([&] {
        Pick(W::主窗口::id, W::主窗口::完本类, 0);
        Click(W::主窗口::id, W::主窗口::按钮2); // the list page is a 404: the run is refused at once
    }));
    ASSERT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(BoxTexts()[0].rfind("无法连接网站：", 0), 0u) << BoxTexts()[0];
    EXPECT_FALSE(Loaded(W::更新窗口::id));
    EXPECT_TRUE(Shown(W::主窗口::id));
}

// The program's end does not leave the update check's transfer running behind it: the end routine stops it and
// returns once it is over.
TEST_F(AppTest, TheProgramsEndStopsTheUpdateChecksTransfer) {
    site_.respond("/pavenobk/banben", SiteResponse::Silent());
    int runningBeforeEnd = -1, runningAfterEnd = -1;
    // The check waits for its answer in a loop of its own; the user's end comes from inside it, once the request is
    // out.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (site_.requests().empty() || runningAfterEnd >= 0) return;
        runningBeforeEnd = RunningTransfers();
        forms::EndProgram(0);
        runningAfterEnd = RunningTransfers();
    });
    user.start(20);
    ASSERT_TRUE(Start(true));
    WaitUntil([&] { return runningAfterEnd >= 0; });
    user.stop();
    EXPECT_EQ(runningBeforeEnd, 1);
    Settle();
    EXPECT_EQ(runningAfterEnd, 0);
    EXPECT_EQ(end_.codes, std::vector<int>{0});
}
