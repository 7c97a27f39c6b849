// SPDX-License-Identifier: MIT
#include "forms/Engine.h"
#include "EngineWindows.h"
#include "forms/Program.h"
#include "forms/kinds/WindowKind.h"
#include "services/Gbk.h"
#include "services/RunDirectory.h"
#include "tests/forms/TestKinds.h"
#include "tests/support/TempRunDirectory.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;
std::map<std::string, std::function<void()>> gHooks;

void Ran(const char* name) {
    gLog.push_back(name);
    if (auto it = gHooks.find(name); it != gHooks.end() && it->second) it->second();
}

} // namespace

// The handler table of the test window data.
#define TEST_HANDLER(name)                                                                                             \
    void testwin::name() {                                                                                             \
        Ran(#name);                                                                                                    \
    }
TEST_HANDLER(按钮1_单击)
TEST_HANDLER(主窗口_创建)
TEST_HANDLER(主窗口_移动)
TEST_HANDLER(主窗口_尺寸)
TEST_HANDLER(主窗口_销毁)
TEST_HANDLER(按钮1_第二)
TEST_HANDLER(自关窗口_创建)
TEST_HANDLER(从窗口_创建)
TEST_HANDLER(容器内按钮_单击)
TEST_HANDLER(按钮2_得到焦点)
#undef TEST_HANDLER

namespace paveno::forms {
namespace {

namespace W = testwin;
using Log = std::vector<std::string>;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        gLog.clear();
        gHooks.clear();
        saved_ = std::filesystem::current_path();
        SetSeams({&box_, &shell_, &end_});
        ASSERT_TRUE(Init(W::Program()));
    }
    void TearDown() override {
        gHooks.clear();
        Init(W::Program()); // drops whatever the test left loaded
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetSeams({});
        std::filesystem::current_path(saved_);
    }
    bool Init(const ProgramHeader& header) {
        RuntimeOptions options;
        options.runDirectory = run_.path();
        options.extraKinds = test::TestKinds();
        return InitRuntime(header, options);
    }
    static QWidget* Frame(std::uint32_t window) {
        Control* c = FindLiveControl(window, 0);
        return c ? c->widget() : nullptr;
    }
    static void Click(std::uint32_t window, std::uint32_t control) {
        QAbstractButton* b = test::ButtonOf(window, control);
        ASSERT_NE(b, nullptr);
        b->click();
    }
    static Text ErrorBox(std::string_view message) {
        return Gbk("运行时出错!\r\n\r\n错误信息：") + Gbk(message) + "\r\n";
    }

    test::TempRunDirectory run_;
    std::filesystem::path saved_;
    ScriptedMessageBox box_;
    RecordingShell shell_;
    RecordingEnd end_;
};

TEST_F(EngineTest, StartWindowOpensAsQtWindowWithItsControls) {
    // The run directory the engine was given is the one every path is built on; the working folder stays.
    EXPECT_EQ(GetRunDirectory(), Utf8ToGbkLossy(run_.path().string()));
    EXPECT_EQ(std::filesystem::current_path(), saved_);
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    // Created, moved, resized: in that order, once each.
    EXPECT_EQ(gLog, (Log{"主窗口_创建", "主窗口_移动", "主窗口_尺寸"}));

    QWidget* frame = Frame(W::主窗口::id);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isWindow());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), QString::fromUtf8("主窗口 \"一\""));
    EXPECT_EQ(ReadProperty(W::主窗口::id, W::主窗口::self, 8).text(), Gbk("主窗口 \"一\""));
    struct Case {
        std::uint32_t control;
        int property;
        Value expected;
    };
    const Case cases[] = {
        // The window's outer geometry as stored (no frame decorations on the offscreen platform).
        {W::主窗口::self, 0, Value::Integer(10)},
        {W::主窗口::self, 1, Value::Integer(20)},
        {W::主窗口::self, 2, Value::Integer(269)},
        {W::主窗口::self, 3, Value::Integer(161)},
        {0, 2, Value::Integer(269)}, // control 0 names the window too
        {W::主窗口::按钮1, 0, Value::Integer(8)},
        {W::主窗口::按钮1, 3, Value::Integer(24)},
        {W::主窗口::按钮1, 5, Value::Logical(true)},
        {W::主窗口::按钮3, 5, Value::Logical(false)},
        {W::主窗口::按钮3, 4, Value::FromText(Gbk("标记"))},
        {W::主窗口::按钮1, 8, Value::FromText(Gbk("采集"))},
        // Child ids count from the last table entry: 容器内按钮 (entry 5) is 100, 按钮1 (entry 1) is 140.
        {W::主窗口::容器内按钮, 9, Value::Integer(100)},
        {W::主窗口::按钮3, 9, Value::Integer(120)},
        {W::主窗口::按钮1, 9, Value::Integer(140)},
        // A control at a negative left stays there, inside its container.
        {W::主窗口::容器内按钮, 0, Value::Integer(-72)},
        {W::主窗口::self, 9, Value::Integer(2)},     // border as stored
        {W::主窗口::self, 26, Value::Logical(true)}, // in the task bar by default
        {W::主窗口::self, 99, Value()},              // no such property: nothing, and no error
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadProperty(W::主窗口::id, c.control, c.property), c.expected)
            << std::hex << c.control << " property " << std::dec << c.property;
    }
    EXPECT_EQ(RuntimeErrorCount(), 0);

    QWidget* b1 = test::ButtonOf(W::主窗口::id, W::主窗口::按钮1);
    QWidget* b2 = test::ButtonOf(W::主窗口::id, W::主窗口::按钮2);
    QWidget* inner = test::ButtonOf(W::主窗口::id, W::主窗口::容器内按钮);
    EXPECT_TRUE(b1->isVisible());
    EXPECT_FALSE(test::ButtonOf(W::主窗口::id, W::主窗口::按钮3)->isVisible());
    EXPECT_EQ(inner->parentWidget(), FindLiveControl(W::主窗口::id, W::主窗口::容器)->widget());
    // Stacking follows the table: entry 1 above entry 2 (Qt keeps the topmost child last).
    const auto& children = frame->children();
    EXPECT_GT(children.indexOf(b1), children.indexOf(b2));
    EXPECT_EQ(b1->nextInFocusChain(), b2);
}

// A run without a desktop drives its windows as shown, but no screen gets them and nothing paints them.
TEST_F(EngineTest, OffScreenWindowsAreShownToTheirHandlersButNeverPainted) {
    for (const bool offScreen : {false, true}) {
        SCOPED_TRACE(offScreen ? "off screen" : "on screen");
        RuntimeOptions options;
        options.runDirectory = run_.path();
        options.extraKinds = test::TestKinds();
        options.offScreen = offScreen;
        ASSERT_TRUE(InitRuntime(W::Program(), options));
        gLog.clear();

        // Every paint of the window or of any of its controls, from the first show on.
        struct PaintCount : QObject {
            int paints = 0;
            bool eventFilter(QObject* object, QEvent* event) override {
                auto* widget = qobject_cast<QWidget*>(object);
                if (event->type() == QEvent::Paint && widget && widget->window() == Frame(W::主窗口::id)) ++paints;
                return false;
            }
        } count;
        qApp->installEventFilter(&count);
        ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
        EXPECT_EQ(gLog, (Log{"主窗口_创建", "主窗口_移动", "主窗口_尺寸"}));
        ASSERT_NE(Frame(W::主窗口::id), nullptr);
        EXPECT_TRUE(Frame(W::主窗口::id)->isVisible());
        EXPECT_EQ(ReadProperty(W::主窗口::id, W::主窗口::self, 5), Value::Logical(true));
        EXPECT_EQ(ReadProperty(W::主窗口::id, W::主窗口::按钮1, 5), Value::Logical(true));
        // A window on a screen is painted within moments, and again when a control changes; one off screen is given
        // as long and stays unpainted.
        for (const char* caption : {"确认", "采集"}) {
            WriteProperty(W::主窗口::id, W::主窗口::按钮1, 8, Value::FromText(Gbk(caption)));
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
            while (std::chrono::steady_clock::now() < until)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        qApp->removeEventFilter(&count);
        EXPECT_EQ(count.paints > 0, !offScreen) << count.paints << " paints";
    }
}

TEST_F(EngineTest, WindowStylesComeFromTheBlock) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    ASSERT_TRUE(LoadWindow(W::从窗口::id));
    QWidget* main = Frame(W::主窗口::id);
    QWidget* owned = Frame(W::从窗口::id);
    // Fixed border 2 with a minimise box and no maximise box; top-level of its own (in the task bar).
    EXPECT_EQ(main->minimumSize(), main->maximumSize());
    EXPECT_TRUE(main->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(main->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(main->parentWidget(), nullptr);
    EXPECT_EQ(main->palette().color(QPalette::Window), QColor(255, 255, 255));
    // Resizable, always on top, out of the task bar (owned by the engine's hidden frame), centred.
    EXPECT_NE(owned->minimumSize(), owned->maximumSize());
    EXPECT_TRUE(owned->windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_NE(owned->parentWidget(), nullptr);
    EXPECT_FALSE(owned->parentWidget()->isVisible());
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(owned->frameGeometry().topLeft(), QPoint((screen.width() - 189) / 2, (screen.height() - 148) / 2));
    EXPECT_EQ(owned->frameGeometry().size(), QSize(189, 148));
}

TEST_F(EngineTest, BindingsDispatchFirstMatchAndUnboundCallsNothing) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    gLog.clear();
    EventSource during;
    gHooks["按钮1_单击"] = [&]() { during = CurrentEventSource(); };
    Click(W::主窗口::id, W::主窗口::按钮1); // two bindings of event 0: the first, handler index 0
    Click(W::主窗口::id, W::主窗口::按钮2); // bound to no handler (0xFFFFFFFF)
    Click(W::主窗口::id, W::主窗口::容器内按钮);
    EXPECT_EQ(gLog, (Log{"按钮1_单击", "容器内按钮_单击"}));
    EXPECT_EQ(during.window, W::主窗口::id);
    EXPECT_EQ(during.control, W::主窗口::按钮1);
    EXPECT_EQ(CurrentEventSource().window, 0u);
    EXPECT_EQ(RuntimeErrorCount(), 0);
    EXPECT_TRUE(box_.shown.empty());
}

TEST_F(EngineTest, NestedDispatchKeepsTheOuterEventSource) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    gLog.clear();
    EventSource inner, after;
    gHooks["从窗口_创建"] = [&]() { inner = CurrentEventSource(); };
    gHooks["按钮1_单击"] = [&]() {
        EXPECT_TRUE(LoadWindow(W::从窗口::id));
        after = CurrentEventSource();
    };
    Click(W::主窗口::id, W::主窗口::按钮1);
    EXPECT_EQ(gLog, (Log{"按钮1_单击", "从窗口_创建"}));
    EXPECT_EQ(inner.window, W::从窗口::id);
    EXPECT_EQ(inner.control, W::从窗口::self);
    EXPECT_EQ(after.window, W::主窗口::id);
    EXPECT_EQ(after.control, W::主窗口::按钮1);
}

TEST_F(EngineTest, LoadingALoadedWindowBringsItForward) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    Frame(W::主窗口::id)->showMinimized();
    ASSERT_TRUE(LoadWindow(W::主窗口::id));
    EXPECT_FALSE(Frame(W::主窗口::id)->isMinimized());
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "主窗口_创建"), 1);
}

TEST_F(EngineTest, AHandlerThatClosesItsOwnWindowEndsTheLoadingSteps) {
    gHooks["自关窗口_创建"] = []() { EXPECT_TRUE(DestroyWindow(W::自关窗口::id)); };
    EXPECT_TRUE(LoadWindow(W::自关窗口::id));
    // Events 3 and 4 are bound but the window is gone by then.
    EXPECT_EQ(gLog, (Log{"自关窗口_创建"}));
    EXPECT_FALSE(IsWindowLoaded(W::自关窗口::id));
    EXPECT_EQ(RuntimeErrorCount(), 0);
    // It can be loaded again from the same record.
    gHooks.clear();
    EXPECT_TRUE(LoadWindow(W::自关窗口::id));
    EXPECT_TRUE(IsWindowLoaded(W::自关窗口::id));
}

TEST_F(EngineTest, LoopEndsWithTheLastWindowNotWhileAHiddenOneStays) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    ASSERT_TRUE(LoadWindow(W::隐藏窗口::id));
    EXPECT_FALSE(Frame(W::隐藏窗口::id)->isVisible());
    bool loopKeptByHidden = false;
    QTimer closeMain, closeHidden;
    closeMain.setSingleShot(true);
    QObject::connect(&closeMain, &QTimer::timeout, [&]() { Frame(W::主窗口::id)->close(); });
    // The loop still runs once the main window is gone: the hidden one goes then.
    QObject::connect(&closeHidden, &QTimer::timeout, [&]() {
        if (IsWindowLoaded(W::主窗口::id)) return;
        closeHidden.stop();
        loopKeptByHidden = IsWindowLoaded(W::隐藏窗口::id);
        DestroyWindow(W::隐藏窗口::id);
    });
    closeMain.start(0);
    closeHidden.start(5);
    RunMessageLoop();
    EXPECT_TRUE(loopKeptByHidden);
    EXPECT_FALSE(IsWindowLoaded(W::隐藏窗口::id));
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "主窗口_销毁"), gLog.end());
    EXPECT_TRUE(end_.codes.empty()); // an orderly end goes through no exit code of the engine
}

TEST_F(EngineTest, FocusRaisesEventMinus7OnceReady) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    QApplication::processEvents();
    gLog.clear();
    QWidget* b2 = test::ButtonOf(W::主窗口::id, W::主窗口::按钮2);
    Frame(W::主窗口::id)->activateWindow();
    b2->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "按钮2_得到焦点"), 1);
}

TEST_F(EngineTest, VisibleAndCaptionWritesTakeEffect) {
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    WriteProperty(W::主窗口::id, W::主窗口::self, 5, Value::Logical(false));
    EXPECT_FALSE(Frame(W::主窗口::id)->isVisible());
    EXPECT_TRUE(IsWindowLoaded(W::主窗口::id));
    // Properties of a hidden window's controls still read.
    EXPECT_EQ(ReadProperty(W::主窗口::id, W::主窗口::按钮1, 5), Value::Logical(true));
    WriteProperty(W::主窗口::id, W::主窗口::按钮1, 8, Value::FromText(Gbk("确认")));
    EXPECT_EQ(test::ButtonOf(W::主窗口::id, W::主窗口::按钮1)->text(), QString::fromUtf8("确认"));
    WriteProperty(W::主窗口::id, W::主窗口::self, 5, Value::Integer(1)); // an integer where a bool is meant
    EXPECT_TRUE(Frame(W::主窗口::id)->isVisible());
    WriteProperty(W::主窗口::id, W::主窗口::按钮3, 5, Value::Logical(true));
    EXPECT_TRUE(test::ButtonOf(W::主窗口::id, W::主窗口::按钮3)->isVisible());
    WriteProperty(W::主窗口::id, W::主窗口::按钮1, 2, Value::Number(70.9)); // stored by truncation
    EXPECT_EQ(ReadProperty(W::主窗口::id, W::主窗口::按钮1, 2), Value::Integer(70));
    WriteProperty(W::主窗口::id, W::主窗口::self, 8, Value::FromText(Gbk("新标题")));
    EXPECT_EQ(Frame(W::主窗口::id)->windowTitle(), QString::fromUtf8("新标题"));
}

TEST_F(EngineTest, EmptyPropertyBlocksGiveTheKindsDefaults) {
    ASSERT_TRUE(LoadWindow(W::隐藏窗口::id));
    EXPECT_FALSE(Frame(W::隐藏窗口::id)->isVisible());
    EXPECT_EQ(ReadProperty(W::隐藏窗口::id, W::隐藏窗口::self, 8), Value::FromText(""));
    EXPECT_EQ(ReadProperty(W::隐藏窗口::id, W::隐藏窗口::self, 9), Value::Integer(2));
    EXPECT_EQ(ReadProperty(W::隐藏窗口::id, W::隐藏窗口::self, 19), Value::Logical(true));
    EXPECT_EQ(ReadProperty(W::隐藏窗口::id, W::隐藏窗口::self, 2), Value::Integer(471));
    EXPECT_EQ(ReadProperty(W::隐藏窗口::id, W::隐藏窗口::通用, 8), Value::FromText("\" title=\""));
}

TEST_F(EngineTest, ABlockTheKindCannotReadFailsTheWholeWindow) {
    const std::uint32_t windows[] = {W::坏块窗口::id, W::新窗口::id, W::短块窗口::id};
    for (std::uint32_t id : windows) {
        const int before = QApplication::topLevelWidgets().size();
        EXPECT_FALSE(LoadWindow(id)) << std::hex << id;
        EXPECT_FALSE(IsWindowLoaded(id));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(QApplication::topLevelWidgets().size(), before) << "a failed window leaves no frame behind";
    }
    EXPECT_EQ(RuntimeErrorCount(), 0);
    EXPECT_FALSE(LoadStartWindow(W::新窗口::id));
    ASSERT_EQ(box_.shown.size(), 1u);
    EXPECT_EQ(box_.shown[0].text, ErrorBox("载入启动窗口失败"));
}

// Every breach of the engine's contracts: one box with the exact text, the end routine forgotten, exit code -1,
// every window gone and nothing dispatched afterwards.
TEST_F(EngineTest, RuntimeErrorsShowOneBoxAndEndWithMinusOne) {
    struct Case {
        const char* message;
        std::function<void()> breach;
    };
    const std::uint32_t unknownWindow = 0x52017777, unknownControl = 0x16017777;
    const Case cases[] = {
        {"未载入欲访问窗口组件所在的窗口", [] { ReadProperty(W::隐藏窗口::id, W::隐藏窗口::通用, 8); }},
        {"未载入欲访问窗口组件所在的窗口", [] { ReadProperty(W::隐藏窗口::id, W::隐藏窗口::通用, 5); }},
        {"未载入欲访问窗口组件所在的窗口", [] { WriteProperty(W::隐藏窗口::id, 0, 5, Value::Logical(true)); }},
        {"指定窗口尚未载入", [&] { ReadProperty(W::主窗口::id, unknownControl, 8); }},
        {"未找到引发事件的窗口", [&] { RaiseEvent(unknownWindow, 0, 0); }},
        {"未找到引发事件的窗口组件", [&] { RaiseEvent(W::主窗口::id, unknownControl, 0); }},
        {"引发事件的窗口组件无效", [] { RaiseEvent(W::主窗口::id, W::主窗口::容器, 0); }},
        {"分配 -5 字节内存失败!", [] { AllocBlock(-5); }},
        {"载入启动窗口失败", [&] { LoadStartWindow(unknownWindow); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ASSERT_TRUE(Init(W::Program()));
        box_.shown.clear();
        end_.codes.clear();
        gLog.clear();
        int endRoutineRuns = 0;
        RegisterEndRoutine([&] { ++endRoutineRuns; });
        ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
        gLog.clear();
        QPointer<QAbstractButton> b1 = test::ButtonOf(W::主窗口::id, W::主窗口::按钮1);
        box_.whileShown = [&] { b1->click(); }; // no handler runs while the box is up
        c.breach();
        box_.whileShown = nullptr;
        ASSERT_EQ(box_.shown.size(), 1u);
        EXPECT_EQ(box_.shown[0].text, ErrorBox(c.message));
        EXPECT_EQ(box_.shown[0].caption, Gbk("信息："));
        EXPECT_EQ(end_.codes, std::vector<int>{-1});
        EXPECT_EQ(endRoutineRuns, 0);
        EXPECT_FALSE(IsWindowLoaded(W::主窗口::id));
        EXPECT_EQ(gLog, Log{}); // not even the main window's event 2
        EXPECT_FALSE(LoadWindow(W::主窗口::id));
        EXPECT_EQ(box_.shown.size(), 1u);
    }
}

TEST_F(EngineTest, RuntimeErrorBoxText) {
    struct Case {
        const char* message;
        int code;
        const char* expected;
    };
    const Case cases[] = {
        {"坏", 5, "运行时出错!\r\n\r\n错误代码：5\r\n\r\n错误信息：坏\r\n"},
        {"", 0, "运行时出错!\r\n\r\n"},
        {"", -3, "运行时出错!\r\n\r\n错误代码：-3\r\n\r\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Init(W::Program()));
        box_.shown.clear();
        RuntimeError(Gbk(c.message), c.code);
        ASSERT_EQ(box_.shown.size(), 1u);
        EXPECT_EQ(box_.shown[0].text, Gbk(c.expected));
    }
}

TEST_F(EngineTest, EndProgramRunsTheEndRoutineOnce) {
    int runs = 0;
    RegisterEndRoutine([&] { ++runs; });
    ASSERT_TRUE(LoadStartWindow(W::主窗口::id));
    gLog.clear();
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [] { EndProgram(0); });
    later.start(0);
    RunMessageLoop(); // returns because the program ended
    EndProgram(0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(end_.codes, (std::vector<int>{0}));
    EXPECT_FALSE(IsWindowLoaded(W::主窗口::id));
    EXPECT_TRUE(box_.shown.empty());
    EXPECT_EQ(gLog, Log{});
}

TEST_F(EngineTest, UnreadableWindowDataIsTheLoadError) {
    ProgramHeader truncated = W::Program();
    truncated.windowDataSize /= 2;
    ProgramHeader shortTable = W::Program();
    shortTable.handlerCount = 3; // bindings name handlers up to index 9
    ProgramHeader none = W::Program();
    none.windowData = nullptr;
    for (const ProgramHeader* h : {&truncated, &shortTable, &none}) {
        box_.shown.clear();
        end_.codes.clear();
        EXPECT_FALSE(Init(*h));
        ASSERT_EQ(box_.shown.size(), 1u);
        EXPECT_EQ(box_.shown[0].text, ErrorBox("载入窗口模板数据段出错!"));
        EXPECT_EQ(end_.codes, std::vector<int>{-1});
        EXPECT_FALSE(LoadStartWindow(W::主窗口::id));
        EXPECT_EQ(box_.shown.size(), 1u);
    }
}

TEST_F(EngineTest, BlocksAreOwnedValues) {
    ByteSet b = AllocBlock(16);
    EXPECT_EQ(b, ByteSet(16, 0));
    Value v = Value::FromText("abc");
    FreeBlock(v);
    EXPECT_TRUE(v.omitted());
    Value none;
    FreeBlock(none);
    EXPECT_TRUE(none.omitted());
    EXPECT_EQ(RuntimeErrorCount(), 0);
}

} // namespace
} // namespace paveno::forms
