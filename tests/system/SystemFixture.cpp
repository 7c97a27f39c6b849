// SPDX-License-Identifier: MIT
#include "tests/system/SystemFixture.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include <algorithm>

namespace paveno::test {

HandlerLog& Handlers() {
    static HandlerLog log;
    return log;
}

int HandlerLog::Count(const std::string& what) const {
    return static_cast<int>(std::count(ran.begin(), ran.end(), what));
}

void SystemTest::SetUp() {
    Handlers() = {};
    saved_ = std::filesystem::current_path();
    forms::SetSeams({&box_, &shell_, &end_});
    ASSERT_TRUE(Init());
}

void SystemTest::TearDown() {
    Handlers().hooks.clear();
    Init(); // drops whatever the test left loaded
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    forms::SetSeams({});
    std::filesystem::current_path(saved_);
}

bool SystemTest::Init() {
    forms::RuntimeOptions options;
    options.runDirectory = run_.path();
    return forms::InitRuntime(W::Program(), options);
}

QWidget* SystemTest::Frame(std::uint32_t window) {
    forms::Control* c = forms::FindLiveControl(window, 0);
    return c ? c->widget() : nullptr;
}

void SystemTest::Click(std::uint32_t window, std::uint32_t control) {
    forms::Control* c = forms::FindLiveControl(window, control);
    auto* button = c ? qobject_cast<QAbstractButton*>(c->widget()) : nullptr;
    ASSERT_NE(button, nullptr);
    button->click();
}

} // namespace paveno::test

// The handlers of the test window data: each notes that it ran, then does what the test hooked to it.
#define SYSTEM_TEST_HANDLER(name)                                                                                      \
    void syswin::name() {                                                                                              \
        auto& log = paveno::test::Handlers();                                                                          \
        log.Note(#name);                                                                                               \
        if (auto it = log.hooks.find(#name); it != log.hooks.end() && it->second) {                                    \
            auto hook = it->second; /* a hook may replace itself */                                                    \
            hook();                                                                                                    \
        }                                                                                                              \
    }
SYSTEM_TEST_HANDLER(主窗口_创建)
SYSTEM_TEST_HANDLER(主窗口_销毁)
SYSTEM_TEST_HANDLER(按钮1_单击)
SYSTEM_TEST_HANDLER(从窗口_创建)
SYSTEM_TEST_HANDLER(从窗口_销毁)
SYSTEM_TEST_HANDLER(关闭按钮_单击)
#undef SYSTEM_TEST_HANDLER
