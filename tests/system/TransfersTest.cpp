// SPDX-License-Identifier: MIT
#include "system/Transfers.h"
#include "services/Http.h"
#include "tests/support/LocalSite.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <memory>
#include <new>
#include <thread>

using namespace paveno;
using namespace paveno::test;

// A handler that fetches on the window thread: the window thread goes on running its timers all through the transfer,
// and the handler still gets the whole body from one call. The site answers only once a timer of the window thread
// has ticked three times with the request in: a window thread that waited on the transfer would never open the gate,
// and the fetch would end at its stall limit with nothing.
TEST(Transfers, AFetchOnTheWindowThreadLetsTimersTick) {
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    NoProxyEnvironment noProxy;
    LocalSite site;
    const auto gate = std::make_shared<SiteGate>();
    site.respond("/slow", SiteResponse::HeldBy(gate, std::string(40, 'x')));
    const HttpSettings saved = GetHttpSettings();
    HttpSettings limited = saved;
    limited.stallTime = std::chrono::seconds(30);
    SetHttpSettings(limited);
    RunTransfersOffTheWindowThread();
    int ticksWhileAsked = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (site.requests().empty()) return;
        if (++ticksWhileAsked == 3) gate->Open();
    });
    timer.start(10);
    const ByteSet body = HttpReadFile(site.url("/slow"));
    timer.stop();
    SetTransferRunner({});
    SetHttpSettings(saved);
    EXPECT_EQ(body.size(), 40u);
    EXPECT_GE(ticksWhileAsked, 3) << "the window thread waited on the transfer";
}

TEST(Transfers, WorkElsewhereRunsInPlaceAndFailuresComeBack) {
    const auto here = std::this_thread::get_id();
    std::thread::id ran;
    RunWhileWindowsGoOn([&] { ran = std::this_thread::get_id(); });
    EXPECT_NE(ran, here) << "on the window thread the work goes to a worker";

    std::thread other([&] {
        std::thread::id inner;
        RunWhileWindowsGoOn([&] { inner = std::this_thread::get_id(); });
        EXPECT_EQ(inner, std::this_thread::get_id());
    });
    other.join();

    EXPECT_THROW(RunWhileWindowsGoOn([] { throw std::bad_alloc(); }), std::bad_alloc);
}
