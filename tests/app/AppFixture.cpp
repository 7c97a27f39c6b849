// SPDX-License-Identifier: MIT
#include "tests/app/AppFixture.h"

#include "BuildConfig.h"
#include "app/Collector.h"
#include "app/Properties.h"
#include "app/UpdateWindow.h"
#include "app/UserActions.h"
#include "services/ConnectTo.h"
#include "system/SystemOps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>

#include <cstdlib>

namespace paveno::test {

void AppTest::SetUp() {
    saved_ = std::filesystem::current_path();
    savedHttp_ = GetHttpSettings();
    forms::SetSeams({&box_, &shell_, &end_});
    ResetRandomNumber();
    std::vector<std::string> mapping;
    for (const char* host :
         {build::kListHost, build::kPictureHost, build::kTextHost, build::kBookHost, build::kUpdateHost}) {
        mapping.push_back(site_.connectTo(host));
    }
    SetConnectTo(mapping);
}

void AppTest::TearDown() {
    // A fresh engine drops whatever the test left loaded, without events.
    forms::RuntimeOptions options;
    options.runDirectory = run_.path();
    forms::InitRuntime(W::Program(), options);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    forms::SetSeams({});
    SetConnectTo({});
    // What a test changed for itself, put back even when an assertion ended it early.
    SetHttpSettings(savedHttp_);
    app::SetUpdateKey(build::kUpdateKey);
    std::filesystem::current_path(saved_);
}

bool AppTest::Start(bool updateCheck) {
    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = updateCheck;
    const bool started = app::StartProgram(options);
    // The suite runs once as the program comes (files fetched ahead) and once with one connection.
    if (const char* connections = std::getenv("PAVENO_TEST_CONNECTIONS"))
        app::Collecting().connections = std::atoi(connections);
    return started;
}

bool AppTest::StartLibrary() {
    app::ProgramOptions options;
    options.runDirectory = run_.path();
    options.updateCheck = false;
    options.openLibrary = true;
    return app::StartProgram(options);
}

void AppTest::Click(std::uint32_t window, std::uint32_t control) {
    ASSERT_TRUE(app::ClickControl(window, control)) << std::hex << control;
}

void AppTest::Pick(std::uint32_t window, std::uint32_t combo, int index) {
    ASSERT_TRUE(app::PickItem(window, combo, index)) << std::hex << combo;
}

void AppTest::Type(std::uint32_t window, std::uint32_t edit, std::string_view utf8) {
    forms::Control* c = forms::FindLiveControl(window, edit);
    auto* line = c ? qobject_cast<QLineEdit*>(c->widget()) : nullptr;
    if (!line && c) line = c->widget()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr) << std::hex << edit;
    line->selectAll();
    line->insert(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

bool AppTest::WaitUntil(const std::function<bool()>& done, double seconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void AppTest::Settle() {
    app::ProcessPendingEvents();
}

bool AppTest::Shown(std::uint32_t window) {
    forms::Control* c = forms::FindLiveControl(window, 0);
    return c && c->widget() && c->widget()->isVisible();
}

Text AppTest::Read(std::uint32_t window, std::uint32_t control, int property) {
    return app::ReadText(window, control, property);
}

std::int32_t AppTest::ReadNumber(std::uint32_t window, std::uint32_t control, int property) {
    return app::ReadInteger(window, control, property);
}

std::vector<std::string> AppTest::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : box_.shown)
        texts.push_back(GbkToUtf8Lossy(shown.text));
    return texts;
}

} // namespace paveno::test
