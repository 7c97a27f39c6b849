// SPDX-License-Identifier: MIT
#include "system/SystemOps.h"
#include "tests/system/SystemFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <thread>
#include <utility>

namespace paveno::test {
namespace {

using forms::kAnswerAbort, forms::kAnswerCancel, forms::kAnswerIgnore, forms::kAnswerNo, forms::kAnswerOk,
    forms::kAnswerRetry, forms::kAnswerYes;
using forms::kBoxOk, forms::kBoxOkCancel, forms::kBoxIconInformation, forms::kBoxIconQuestion;

// Shows a real box; `whenUp` is handed the box every few milliseconds until it returns true (it answers it then).
// A box nobody could answer is closed after a minute, so that it cannot hang the tests.
std::int32_t ShowRealBox(std::uint32_t style, const std::function<bool(QMessageBox&)>& whenUp) {
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && whenUp(*box)) answerer.stop();
    });
    answerer.start(5);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, []() {
        if (auto* box = QApplication::activeModalWidget()) box->close();
    });
    watchdog.start(60'000);
    return MessageBox(Gbk("内容"), style);
}

// The handlers test the results by number: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6; a box gives
// them in that numbering, and anything else counts as OK.
TEST_F(SystemTest, MessageBoxGivesTheHandlersResultsAndTitlesABoxWithoutCaption) {
    struct Case {
        std::uint32_t style;
        std::optional<std::string_view> caption; // UTF-8
        std::optional<int> answer;               // none: the box's default button (Enter)
        std::int32_t result;
        std::string_view shownCaption;
    };
    const Case cases[] = {
        {kBoxOk, std::nullopt, kAnswerOk, 0, "信息："},
        {kBoxOkCancel, std::nullopt, kAnswerCancel, 1, "信息："},
        {kBoxOkCancel | kBoxIconQuestion, std::nullopt, kAnswerOk, 0, "信息："},
        {kBoxOk | kBoxIconInformation, "更新", kAnswerOk, 0, "更新"},
        {2, std::nullopt, kAnswerAbort, 2, "信息："},
        {2, std::nullopt, kAnswerRetry, 3, "信息："},
        {2, std::nullopt, kAnswerIgnore, 4, "信息："},
        {4, std::nullopt, kAnswerYes, 5, "信息："},
        {4, std::nullopt, kAnswerNo, 6, "信息："},
        // Answers outside the known buttons count as OK.
        {kBoxOk, std::nullopt, 7, 0, "信息："},
        {kBoxOk, std::nullopt, 8, 0, "信息："},
        {kBoxOk, std::nullopt, -1, 0, "信息："},
        // Enter on a box: its first button.
        {kBoxOkCancel, std::nullopt, std::nullopt, 0, "信息："},
        {4, std::nullopt, std::nullopt, 5, "信息："},
    };
    const Text content = Gbk("共采集 3 本\r\n已有 0 本");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << " answer " << c.answer.value_or(-99));
        box_.shown.clear();
        box_.answers.clear();
        if (c.answer) box_.answers.push_back(*c.answer);
        std::optional<Text> caption;
        if (c.caption) caption = Gbk(*c.caption);
        EXPECT_EQ(MessageBox(content, c.style, caption), c.result);
        ASSERT_EQ(box_.shown.size(), 1u);
        EXPECT_EQ(box_.shown[0].text, content);
        EXPECT_EQ(box_.shown[0].caption, Gbk(c.shownCaption));
        EXPECT_EQ(box_.shown[0].style, c.style);
    }
}

// The real box: answered by closing it or by Enter, while a timer goes on ticking and the box blocks the program's
// other windows.
TEST_F(SystemTest, RealBoxAnswersCloseAndEnterWhileTimersTick) {
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    forms::SetSeams({nullptr, &shell_, &end_});
    enum class Action { Close, Enter };
    struct Case {
        std::uint32_t style;
        Action action;
        std::int32_t result;
    };
    const Case cases[] = {
        {kBoxOkCancel, Action::Close, kAnswerCancel},
        {kBoxOkCancel | kBoxIconQuestion, Action::Close, kAnswerCancel},
        {kBoxOk, Action::Close, kAnswerOk},
        {kBoxOk | kBoxIconInformation, Action::Close, kAnswerOk},
        {kBoxOk, Action::Enter, kAnswerOk},
        {kBoxOkCancel, Action::Enter, kAnswerOk},
        {kBoxOkCancel | kBoxIconQuestion, Action::Enter, kAnswerOk},
        {4, Action::Enter, kAnswerYes},
        {4 | 0x100, Action::Enter, kAnswerNo},
        {2, Action::Enter, kAnswerAbort},
        {2 | 0x200, Action::Enter, kAnswerIgnore},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&]() { ++ticks; });
        ticker.start(2);
        QString title;
        bool modal = false;
        int ticksWhenAnswered = -1;
        const std::int32_t result = ShowRealBox(c.style, [&](QMessageBox& box) {
            if (ticks < 3) return false;
            title = box.windowTitle();
            modal = box.windowModality() == Qt::ApplicationModal;
            ticksWhenAnswered = ticks;
            if (c.action == Action::Close) {
                box.close();
            } else {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QCoreApplication::sendEvent(&box, &press);
            }
            return true;
        });
        EXPECT_EQ(result, c.result);
        EXPECT_GE(ticksWhenAnswered, 3);
        EXPECT_EQ(title, QString::fromUtf8("信息："));
        EXPECT_TRUE(modal);
    }
}

// Qt's own buttons read Chinese, as every other text of the program, whatever the locale.
TEST_F(SystemTest, RealBoxButtonsReadChinese) {
    ASSERT_TRUE(forms::LoadChineseQtTexts()) << "qtbase_zh_CN.qm (Debian qt6-translations-l10n) is not installed";
    forms::SetSeams({nullptr, &shell_, &end_});
    struct Case {
        std::uint32_t style;
        QStringList buttons;
    };
    const Case cases[] = {
        {kBoxOk, {QString::fromUtf8("确定")}},
        {kBoxOkCancel, {QString::fromUtf8("确定"), QString::fromUtf8("取消")}},
        {4,
         {QString::fromUtf8("是(&Y)"), QString::fromUtf8("否(&N)")}}, // with their keys, as Chinese desktops show them
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style);
        QStringList seen;
        ShowRealBox(c.style, [&](QMessageBox& box) {
            for (QAbstractButton* button : box.buttons())
                seen.push_back(button->text());
            box.close();
            return true;
        });
        seen.sort();
        QStringList expected = c.buttons;
        expected.sort();
        EXPECT_EQ(seen.join(u'|').toStdString(), expected.join(u'|').toStdString());
    }
}

TEST_F(SystemTest, OpenWebPageHandsTheTargetToTheShellAsItIs) {
    const Text targets[] = {Gbk("http://wpa.qq.example/msgrd?v=3&uin=12345"), Gbk("小说\\完本\\玄幻小说\\书名.rar"),
                            Text()};
    for (const Text& t : targets)
        OpenWebPage(t);
    EXPECT_EQ(shell_.opened, std::vector<Text>(std::begin(targets), std::end(targets)));
}

// Two queued events, the second posted while the first is handled: a wait runs both, no wait runs neither.
TEST_F(SystemTest, DelayProcessesTheQueueTwiceOrNotAtAll) {
    struct Case {
        std::int32_t ms;
        int ran;
    };
    const Case cases[] = {{0, 0}, {-5, 0}, {INT32_MIN, 0}, {1, 2}, {20, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ms);
        int ran = 0;
        QObject context;
        QMetaObject::invokeMethod(
            &context,
            [&]() {
                ++ran;
                QMetaObject::invokeMethod(
                    &context, [&]() { ++ran; }, Qt::QueuedConnection);
                // Slower than the shortest wait: the second event runs only because the queue is gone through
                // twice, not because time is left.
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            },
            Qt::QueuedConnection);
        Delay(c.ms);
        EXPECT_EQ(ran, c.ran);
        QCoreApplication::sendPostedEvents(); // what a non-wait left queued
        QCoreApplication::sendPostedEvents();
    }
}

// Runs `act` as an event of the thread's loop, once the running code waits for events (as a user's click comes).
void Later(std::function<void()> act) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(act), Qt::QueuedConnection);
}

// A click queued before the wait and a click that comes while the handler waits both run their handler nested, before
// the waiting handler goes on; the second click re-enters the very handler that waits. Both are events queued when
// the wait begins, so that however slowly the machine runs, they come within it.
TEST_F(SystemTest, DelayRunsClicksNestedInTheWaitingHandler) {
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    auto& log = Handlers();
    int depth = 0;
    log.hooks["按钮1_单击"] = [&]() {
        if (++depth == 1) {
            Later([] { Click(W::主窗口::id, W::主窗口::按钮1); });
            Delay(150);
            log.Note("waited");
        }
        --depth;
    };
    log.ran.clear();
    // A press and release in the queue, as the user's click arrives.
    QWidget* button = forms::FindLiveControl(W::主窗口::id, W::主窗口::按钮1)->widget();
    const QPointF inside(5, 5);
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, inside, button->mapToGlobal(inside),
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, inside, button->mapToGlobal(inside),
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    log.Note("before");
    Delay(100);
    log.Note("after");
    EXPECT_EQ(log.ran, (std::vector<std::string>{"before", "按钮1_单击", "按钮1_单击", "waited", "after"}));
}

// The last window closes while a handler waits: the wait finishes, the handler runs to its end, and the main loop
// still ends afterwards.
TEST_F(SystemTest, AnEndDuringDelayStillEndsTheMainLoop) {
    ASSERT_TRUE(forms::LoadStartWindow(W::主窗口::id));
    auto& log = Handlers();
    log.hooks["按钮1_单击"] = [&]() {
        Later([] { CloseWindow(W::主窗口::id); });
        Delay(100);
        log.Note(forms::IsWindowLoaded(W::主窗口::id) ? "after: loaded" : "after: gone");
    };
    log.ran.clear();
    QTimer::singleShot(0, []() { Click(W::主窗口::id, W::主窗口::按钮1); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&]() {
        log.Note("watchdog");
        QCoreApplication::exit(1);
    });
    watchdog.start(60'000); // only a fault reaches it
    forms::RunMessageLoop();
    EXPECT_EQ(log.ran, (std::vector<std::string>{"按钮1_单击", "主窗口_销毁", "after: gone"}));
}

TEST_F(SystemTest, RandomNumberFollowsTheSeedOneSequence) {
    ResetRandomNumber();
    std::vector<std::int32_t> draws;
    for (int i = 0; i < 6; ++i)
        draws.push_back(RandomNumber());
    EXPECT_EQ(draws, (std::vector<std::int32_t>{41, 18467, 6334, 26500, 19169, 15724}));
}

// The first draw of a fresh run is 41 before reduction; equal bounds draw nothing, so the next draw is still 41.
TEST_F(SystemTest, RandomNumberBoundsFromAFreshRun) {
    using Bound = std::optional<std::int32_t>;
    struct Case {
        Bound low, high;
        std::int32_t first;
        std::int32_t next; // an unbounded draw right after
    };
    const Case cases[] = {
        {0, 3, 41 % 4, 18467},
        {0, 0, 0, 41},
        {-7, -1, 0, 41},
        {5, 2, 2 + 41 % 4, 18467},
        {-3, 4, 41 % 5, 18467},
        {7, 7, 7, 41},
        {10, std::nullopt, 10 + 41, 18467},
        {std::nullopt, 5, 41 % 6, 18467},
        {INT32_MIN, INT32_MAX, 41, 18467},
        {INT32_MAX, 0, 41, 18467},
        {INT32_MAX, INT32_MAX - 1, INT32_MAX - 1 + 41 % 2, 18467},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low.value_or(-1) << ".." << c.high.value_or(-1));
        ResetRandomNumber();
        EXPECT_EQ(RandomNumber(c.low, c.high), c.first);
        EXPECT_EQ(RandomNumber(), c.next);
    }
}

TEST_F(SystemTest, RandomNumberStaysWithinItsBounds) {
    ResetRandomNumber();
    std::set<std::int32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        std::int32_t r = RandomNumber(5, 2);
        ASSERT_GE(r, 2);
        ASSERT_LE(r, 5);
        seen.insert(r);
    }
    EXPECT_EQ(seen, (std::set<std::int32_t>{2, 3, 4, 5}));
    std::int32_t highest = 0;
    for (int i = 0; i < 70000; ++i)
        highest = std::max(highest, RandomNumber(100, 1000000));
    // The generator gives 15 bits: the top of a wide range is never reached, the 15-bit top nearly.
    EXPECT_LE(highest, 100 + 32767);
    EXPECT_GT(highest, 100 + 32000);
}

} // namespace
} // namespace paveno::test
