// SPDX-License-Identifier: MIT
// The windows by keyboard: Tab goes through each window as it is seen, the control with the focus wears a frame that
// stands out on any desktop, and Enter does what a click would in the page field, the delay field and the book list.
#include "app/CollectionState.h"
#include "app/Properties.h"
#include "forms/kinds/WindowKind.h"
#include "system/SystemOps.h"
#include "tests/app/CollectionFixture.h"
#include "tests/app/DesktopPalette.h"

#include <QKeyEvent>

using namespace paveno;
using namespace paveno::test;

namespace {

// The control of a window whose widget (or a widget inside it) has the focus; 0 when none has.
std::uint32_t FocusedControl(std::uint32_t window) {
    QWidget* focus = QApplication::focusWidget();
    for (const format::ControlRecord& rec : forms::LoadedWindowData()->Find(window)->controls) {
        forms::Control* c = forms::FindLiveControl(window, rec.id);
        if (rec.id != forms::FindLiveControl(window, 0)->controlId() && c && c->widget() && focus &&
            (focus == c->widget() || c->widget()->isAncestorOf(focus)))
            return rec.id;
    }
    return 0;
}

void Press(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

class KeyboardTest : public CollectionTest {
protected:
    // From the first stop, Tab visits `order` and comes back to the first. At every stop the focus ring goes round
    // the control and stands out from what lies beneath it.
    void ExpectTabOrder(std::uint32_t window, const std::vector<std::uint32_t>& order, const char* desktop) {
        auto* frame = static_cast<forms::WindowControl*>(forms::FindLiveControl(window, 0));
        frame->widget()->show();
        frame->widget()->activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return frame->widget()->isActiveWindow(); })) << std::hex << window;
        forms::FindLiveControl(window, order.front())->widget()->setFocus(Qt::TabFocusReason);
        std::vector<std::uint32_t> seen;
        for (std::size_t k = 0; k <= order.size(); ++k) {
            const std::uint32_t control = FocusedControl(window);
            seen.push_back(control);
            if (control == 0) break;
            ExpectRingAround(frame, control, desktop);
            Press(QApplication::focusWidget(), Qt::Key_Tab);
        }
        std::vector<std::uint32_t> expected = order;
        expected.push_back(order.front());
        EXPECT_EQ(seen, expected) << desktop << " window " << std::hex << window;
    }

    static void ExpectRingAround(forms::WindowControl* frame, std::uint32_t control, const char* desktop) {
        forms::FocusRing* ring = frame->focusRing();
        QWidget* target = forms::FindLiveControl(frame->windowId(), control)->widget();
        ASSERT_NE(ring, nullptr);
        EXPECT_EQ(ring->target(), target) << desktop << " " << std::hex << control;
        EXPECT_TRUE(ring->isVisible()) << desktop << " " << std::hex << control;
        EXPECT_TRUE(ring->geometry().contains(target->geometry())) << desktop << " " << std::hex << control;
        const QImage with = Shot(ring);
        ring->hide();
        const QImage without = Shot(ring);
        ring->show();
        const PixelChange m = Compare(with, without);
        EXPECT_GT(m.changed, 0) << desktop << " " << std::hex << control;
        EXPECT_GE(m.best, forms::FocusRing::kMinimumContrast) << desktop << " " << std::hex << control;
    }

    void ExpectEveryWindowsTabOrder(const char* desktop) {
        site_.serve("/pavenobk/banben", "9999"); // the update window stays up, offering it
        ASSERT_TRUE(Start());
        namespace M = W::主窗口;
        // Two radio buttons of one parent are one stop, at the checked one (the arrow keys choose between them).
        ExpectTabOrder(M::id,
                       {M::超级按钮1, M::超级按钮2, M::编辑框1, M::完本类, M::单选框1, M::按钮2, M::编辑框2, M::按钮3},
                       desktop);
        namespace U = W::更新窗口;
        ASSERT_TRUE(LoadWindow(U::id));
        ExpectTabOrder(U::id, {U::编辑框1, U::编辑框2, U::按钮2, U::编辑框4, U::编辑框3, U::按钮1}, desktop);
        ASSERT_TRUE(LoadWindow(W::等待窗口::id, M::id));
        ExpectTabOrder(W::等待窗口::id, {W::等待窗口::编辑框1, W::等待窗口::停止按钮}, desktop);
        namespace L = W::书库窗口;
        ASSERT_TRUE(LoadWindow(L::id));
        ExpectTabOrder(L::id, {L::单选框1, L::完本类, L::文件框1, L::编辑框1, L::按钮1}, desktop);
    }
};

} // namespace

TEST_F(KeyboardTest, TabFollowsEachWindowAsItIsSeenOnALightDesktop) {
    const Desktop desktop(QApplication::style()->standardPalette());
    ExpectEveryWindowsTabOrder("light");
}

TEST_F(KeyboardTest, TabFollowsEachWindowAsItIsSeenOnADarkDesktop) {
    const Desktop desktop(DarkPalette());
    ExpectEveryWindowsTabOrder("dark");
}

// The control tables keep the window data's order: the stacking and the data are as they were.
TEST_F(KeyboardTest, TheControlTablesKeepTheirOrder) {
    ASSERT_TRUE(Start());
    const auto& controls = forms::LoadedWindowData()->Find(W::主窗口::id)->controls;
    ASSERT_GE(controls.size(), 3u);
    EXPECT_EQ(controls[1].id, W::主窗口::按钮3);
    EXPECT_EQ(controls[2].id, W::主窗口::标签1);
    const auto& wait = forms::LoadedWindowData()->Find(W::等待窗口::id)->controls;
    ASSERT_EQ(wait.size(), 3u);
    EXPECT_EQ(wait[1].id, W::等待窗口::编辑框1);
    EXPECT_EQ(wait[2].id, W::等待窗口::停止按钮);
}

TEST_F(KeyboardTest, EnterInThePageFieldCollectsAndInTheDelayFieldAppliesIt) {
    ASSERT_TRUE(Start());
    namespace M = W::主窗口;
    Type(M::id, M::编辑框2, "250");
    Press(forms::FindLiveControl(M::id, M::编辑框2)->widget(), Qt::Key_Return);
    EXPECT_EQ(app::State().delayMs, 250);

    // With no category chosen, 采集 says so: the click ran.
    app::WriteInteger(M::id, M::完本类, forms::ComboBox::kSelection, -1);
    Press(forms::FindLiveControl(M::id, M::编辑框1)->widget(), Qt::Key_Enter);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"小说种类还未选择"});

    // With one, Enter collects.
    ServeBooks(Finished(), 1, {MakeBook(601, "回车")});
    ServeFiles(601);
    app::WriteInteger(M::id, M::完本类, forms::ComboBox::kSelection, 0);
    Type(M::id, M::编辑框2, "0");
    Press(forms::FindLiveControl(M::id, M::编辑框2)->widget(), Qt::Key_Return);
    box_.answers = {forms::kAnswerCancel};
    Press(forms::FindLiveControl(M::id, M::编辑框1)->widget(), Qt::Key_Return);
    EXPECT_EQ(Summary(), "采集完成，共采集1篇小说，其中已存在0篇小说，本次成功采集1篇小说！是否查看文件？");
}

TEST_F(KeyboardTest, EnterOnABookOpensItAsADoubleClickDoes) {
    WriteSized(At("小说/完本/玄幻小说/回车.rar"), 40000);
    ASSERT_TRUE(StartLibrary());
    namespace L = W::书库窗口;
    QWidget* list = forms::FindLiveControl(L::id, L::文件框1)->widget();
    Press(list, Qt::Key_Return);
    EXPECT_TRUE(shell_.opened.empty()) << "no book chosen, nothing opened";
    app::WriteText(L::id, L::文件框1, forms::FileBox::kSelectedFile, Gbk("回车.rar"));
    Press(list, Qt::Key_Return);
    ASSERT_EQ(shell_.opened.size(), 1u);
    EXPECT_EQ(Utf8(shell_.opened[0]), Utf8(Read(L::id, L::文件框1, forms::FileBox::kFolder)) + "\\回车.rar");
}
