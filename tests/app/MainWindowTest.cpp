// SPDX-License-Identifier: MIT
#include "app/CollectionState.h"
#include "app/Properties.h"
#include "tests/app/AppFixture.h"

#include <QWidget>

#include <fstream>

using namespace paveno;
using namespace paveno::test;
namespace fs = std::filesystem;

TEST_F(AppTest, StartsInFinishedModeAndTheRadioButtonsSwapTheCategoryBoxes) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Shown(W::主窗口::id));
    EXPECT_EQ(app::State().delayMs, 1);
    auto visible = [](std::uint32_t control) { return app::ReadLogical(W::主窗口::id, control, forms::kVisible); };
    EXPECT_TRUE(visible(W::主窗口::完本类));
    EXPECT_FALSE(visible(W::主窗口::连载类));
    EXPECT_FALSE(visible(W::主窗口::选择框1));

    // Switching to the serialised kind copies its category into the address list at once.
    app::WriteInteger(W::主窗口::id, W::主窗口::连载类, forms::ComboBox::kSelection, 3);
    Click(W::主窗口::id, W::主窗口::单选框2);
    EXPECT_TRUE(visible(W::主窗口::连载类));
    EXPECT_TRUE(visible(W::主窗口::选择框1));
    EXPECT_FALSE(visible(W::主窗口::完本类));
    EXPECT_EQ(ReadNumber(W::主窗口::id, W::主窗口::连载网页, forms::ComboBox::kSelection), 3);
    EXPECT_FALSE(app::ReadLogical(W::主窗口::id, W::主窗口::单选框1, forms::CheckButton::kChecked));

    Click(W::主窗口::id, W::主窗口::单选框1);
    EXPECT_TRUE(visible(W::主窗口::完本类));
    EXPECT_FALSE(visible(W::主窗口::连载类));
    EXPECT_FALSE(visible(W::主窗口::选择框1));
}

TEST_F(AppTest, ChosenCategoriesAreMirroredIntoTheAddressLists) {
    ASSERT_TRUE(Start());
    Pick(W::主窗口::id, W::主窗口::完本类, 5);
    EXPECT_EQ(ReadNumber(W::主窗口::id, W::主窗口::完本网页, forms::ComboBox::kSelection), 5);
    Pick(W::主窗口::id, W::主窗口::连载类, 7);
    EXPECT_EQ(ReadNumber(W::主窗口::id, W::主窗口::连载网页, forms::ComboBox::kSelection), 7);
    // ... and back from the finished address list; the written selection raises no second event.
    Pick(W::主窗口::id, W::主窗口::完本网页, 9);
    EXPECT_EQ(ReadNumber(W::主窗口::id, W::主窗口::完本类, forms::ComboBox::kSelection), 9);
    EXPECT_EQ(ReadNumber(W::主窗口::id, W::主窗口::完本网页, forms::ComboBox::kSelection), 9);
}

TEST_F(AppTest, TheResponseDelayIsReadWithOrWithoutItsPrefix) {
    ASSERT_TRUE(Start());
    struct Case {
        std::string typed;
        std::int32_t delay;
    };
    const Case cases[] = {{"默认为：250", 250}, {"250", 250}, {"默认为：", 0}, {"2.9", 2}, {"abc", 0}, {"-40", -40}};
    for (const auto& c : cases) {
        Type(W::主窗口::id, W::主窗口::编辑框2, c.typed);
        Click(W::主窗口::id, W::主窗口::按钮3);
        EXPECT_EQ(app::State().delayMs, c.delay) << c.typed;
    }
}

TEST_F(AppTest, ClosingTheMainWindowRemovesTheCacheAndEndsTheProgram) {
    for (bool cacheExists : {true, false}) {
        ASSERT_TRUE(Start());
        if (cacheExists) {
            fs::create_directories(At("缓存/玄幻小说"));
            std::ofstream(At("缓存/玄幻小说/1.html")) << "page";
        }
        forms::FindLiveControl(W::主窗口::id, 0)->widget()->close();
        Settle();
        EXPECT_FALSE(fs::exists(At("缓存"))) << cacheExists;
        EXPECT_FALSE(Loaded(W::主窗口::id));
        EXPECT_TRUE(box_.shown.empty()) << "nothing is reported";
    }
}
