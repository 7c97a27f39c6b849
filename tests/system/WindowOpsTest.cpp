// SPDX-License-Identifier: MIT
#include "system/SystemOps.h"
#include "tests/system/SystemFixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace paveno::test {
namespace {

void DeliverQueued() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

TEST_F(SystemTest, LoadWindowOfALoadedWindowBringsItForwardWithoutASecondCopy) {
    auto& log = Handlers();
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    ASSERT_TRUE(LoadWindow(W::从窗口::id));
    QPointer<QWidget> first = Frame(W::从窗口::id);
    ASSERT_TRUE(first);
    first->showMinimized();
    EXPECT_TRUE(LoadWindow(W::从窗口::id, W::主窗口::id));
    EXPECT_EQ(Frame(W::从窗口::id), first.data());
    EXPECT_FALSE(first->isMinimized());
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(log.Count("从窗口_创建"), 1);
}

TEST_F(SystemTest, LoadWindowNeedsALoadedParent) {
    auto& log = Handlers();
    struct Case {
        std::optional<std::uint32_t> parent;
        bool loaded;
    };
    const Case cases[] = {
        {W::隐藏窗口::id, false},             // never loaded
        {0x52019999u, false},                 // no such window
        {W::主窗口::id, true},    {0u, true}, // an omitted argument
        {std::nullopt, true},
    };
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parent.value_or(0xFFFFFFFF));
        log.ran.clear();
        EXPECT_EQ(LoadWindow(W::从窗口::id, c.parent), c.loaded);
        EXPECT_EQ(forms::IsWindowLoaded(W::从窗口::id), c.loaded);
        EXPECT_EQ(log.Count("从窗口_创建"), c.loaded ? 1 : 0);
        if (c.loaded) CloseWindow(W::从窗口::id, true);
    }
    EXPECT_FALSE(LoadWindow(0x52019999u)); // not in the window data
    EXPECT_TRUE(end_.codes.empty());
}

// The handler that closes its own window runs to its end with the window still there; the window goes once the
// handler has returned to the loop.
TEST_F(SystemTest, CloseWindowOfTheHandlersOwnWindowLetsTheHandlerFinish) {
    auto& log = Handlers();
    log.hooks["关闭按钮_单击"] = [&]() {
        CloseWindow(W::从窗口::id);
        log.Note(forms::IsWindowLoaded(W::从窗口::id) ? "still loaded" : "gone");
        // The window's own controls still answer.
        log.Note(forms::ReadProperty(W::从窗口::id, W::从窗口::关闭按钮, 10).text());
    };
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    ASSERT_TRUE(LoadWindow(W::从窗口::id));
    log.ran.clear();
    Click(W::从窗口::id, W::从窗口::关闭按钮);
    log.Note("handler returned");
    DeliverQueued();
    EXPECT_EQ(log.ran, (std::vector<std::string>{"关闭按钮_单击", "still loaded", Gbk("关闭"), "handler returned",
                                                 "从窗口_销毁"}));
    EXPECT_FALSE(forms::IsWindowLoaded(W::从窗口::id));
    EXPECT_TRUE(forms::IsWindowLoaded(W::主窗口::id));
}

// A window loaded again while its close is pending replaces the closing copy at once, and the pending close does
// not reach the new copy.
TEST_F(SystemTest, LoadWindowReplacesACopyThatIsBeingClosed) {
    auto& log = Handlers();
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    struct Case {
        const char* name;
        std::function<void()> between; // what happens between the close and the load
    };
    const Case cases[] = {
        {"at once", []() {}},
        // The user closed the copy meanwhile, so the pending close names a copy that is gone.
        {"closed meanwhile", []() { forms::DestroyWindow(W::从窗口::id); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(LoadWindow(W::从窗口::id));
        QPointer<QWidget> old = Frame(W::从窗口::id);
        log.ran.clear();
        CloseWindow(W::从窗口::id);
        c.between();
        ASSERT_TRUE(LoadWindow(W::从窗口::id));
        EXPECT_EQ(log.ran, (std::vector<std::string>{"从窗口_销毁", "从窗口_创建"}));
        DeliverQueued();
        EXPECT_TRUE(forms::IsWindowLoaded(W::从窗口::id));
        EXPECT_NE(Frame(W::从窗口::id), old.data());
        EXPECT_EQ(log.Count("从窗口_销毁"), 1);
        CloseWindow(W::从窗口::id, true);
    }
}

TEST_F(SystemTest, CloseWindowDestroysAtOnceOnlyWhenTold) {
    auto& log = Handlers();
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    struct Case {
        std::optional<bool> destroyNow;
        bool loadedAfterCall;
    };
    const Case cases[] = {{std::nullopt, true}, {false, true}, {true, false}};
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadWindow(W::从窗口::id));
        log.ran.clear();
        CloseWindow(W::从窗口::id, c.destroyNow);
        EXPECT_EQ(forms::IsWindowLoaded(W::从窗口::id), c.loadedAfterCall);
        DeliverQueued();
        EXPECT_FALSE(forms::IsWindowLoaded(W::从窗口::id));
        EXPECT_EQ(log.ran, std::vector<std::string>{"从窗口_销毁"});
    }
}

TEST_F(SystemTest, ComboAndListItemsByIndex) {
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    const std::uint32_t main = W::主窗口::id;
    EXPECT_EQ(GetItemCount(main, W::主窗口::类别), 3);
    EXPECT_EQ(GetListItemCount(main, W::主窗口::书目), 2);
    struct Case {
        std::int32_t index;
        std::string_view combo, list;
    };
    const Case cases[] = {
        {0, "玄幻小说", "甲书"}, {1, "都市小说", "乙书"}, {2, "言情小说", ""}, {3, "", ""}, {-1, "", ""},
        {INT32_MIN, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(GetItemText(main, W::主窗口::类别, c.index), Gbk(c.combo));
        EXPECT_EQ(GetListItemText(main, W::主窗口::书目, c.index), Gbk(c.list));
    }
    // Items of a control of another kind: an empty list, and no error.
    EXPECT_EQ(GetItemCount(main, W::主窗口::书目), 0);
    EXPECT_EQ(GetListItemText(main, W::主窗口::类别, 0), Text());
    EXPECT_EQ(AddListItem(main, W::主窗口::按钮1, Gbk("书")), -1);
    EXPECT_TRUE(end_.codes.empty());
}

TEST_F(SystemTest, ListItemsAddedAndCleared) {
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    const std::uint32_t main = W::主窗口::id;
    const std::uint32_t list = W::主窗口::书目;
    EXPECT_EQ(AddListItem(main, list, Gbk("丙书.rar")), 2);
    EXPECT_EQ(AddListItem(main, list, Text(), 7), 3);
    EXPECT_EQ(GetListItemCount(main, list), 4);
    EXPECT_EQ(GetListItemText(main, list, 2), Gbk("丙书.rar"));
    EXPECT_EQ(GetListItemText(main, list, 3), Text());
    ClearListItems(main, list);
    EXPECT_EQ(GetListItemCount(main, list), 0);
    EXPECT_EQ(GetListItemText(main, list, 0), Text());
    EXPECT_EQ(AddListItem(main, list, Gbk("丁书")), 0);
    ClearListItems(main, list);
    ClearListItems(main, list);
    EXPECT_EQ(GetListItemCount(main, list), 0);
}

TEST_F(SystemTest, SetFocusGivesTheControlTheKeyboardFocus) {
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    ASSERT_TRUE(LoadWindow(W::从窗口::id));
    // The focus goes to a control of a window behind the active one: that window comes forward with it.
    SetFocus(W::主窗口::id, W::主窗口::书目);
    QCoreApplication::processEvents();
    QWidget* list = forms::FindLiveControl(W::主窗口::id, W::主窗口::书目)->widget();
    EXPECT_EQ(list->window()->focusWidget(), list);
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_TRUE(end_.codes.empty());
}

// Every operation that names a window or control that is not loaded ends the program with the one box.
TEST_F(SystemTest, OperationsOnWhatIsNotLoadedAreTheRunTimeError) {
    const std::uint32_t main = W::主窗口::id, never = W::从窗口::id, missing = 0x16019999u;
    struct Case {
        const char* name;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"CloseWindow, never loaded", [&]() { CloseWindow(never); }},
        {"CloseWindow now, never loaded", [&]() { CloseWindow(never, true); }},
        {"CloseWindow, hidden window never loaded", []() { CloseWindow(W::隐藏窗口::id); }},
        {"SetFocus, window", [&]() { SetFocus(never, W::从窗口::关闭按钮); }},
        {"SetFocus, control", [&]() { SetFocus(main, missing); }},
        {"GetItemCount", [&]() { GetItemCount(main, missing); }},
        {"GetItemText", [&]() { GetItemText(never, W::主窗口::类别, 0); }},
        {"GetListItemCount", [&]() { GetListItemCount(never, W::主窗口::书目); }},
        {"GetListItemText", [&]() { GetListItemText(main, missing, 0); }},
        {"AddListItem", [&]() { AddListItem(main, missing, Gbk("书")); }},
        {"ClearListItems", [&]() { ClearListItems(never, W::主窗口::书目); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Init());
        box_.shown.clear();
        end_.codes.clear();
        ASSERT_TRUE(forms::LoadStartWindow(main));
        c.call();
        EXPECT_EQ(end_.codes, std::vector<int>{-1});
        ASSERT_EQ(box_.shown.size(), 1u);
        EXPECT_EQ(box_.shown[0].text, ErrorBox("指定窗口或窗口组件不存在或尚未载入"));
        EXPECT_FALSE(forms::IsWindowLoaded(main)); // the ending drops every window
    }
}

} // namespace
} // namespace paveno::test
