// SPDX-License-Identifier: MIT
#include "system/Transfers.h"
#include "services/Http.h"
#include "tests/support/LocalSite.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <new>
#include <thread>

using namespace paveno;
using namespace paveno::test;

// A handler that fetches from a slow site on the window thread: a 10 ms timer goes on ticking all through the
// transfer, and the handler still gets the whole body from one call.
TEST(Transfers, AFetchOnTheWindowThreadLetsTimersTick) {
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    NoProxyEnvironment noProxy;
    LocalSite site;
    site.respond("/slow", SiteResponse::Drip(std::string(40, 'x'), 25)); // about a second
    RunTransfersOffTheWindowThread();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    const ByteSet body = HttpReadFile(site.url("/slow"));
    timer.stop();
    SetTransferRunner({});
    EXPECT_EQ(body.size(), 40u);
    EXPECT_GE(ticks, 20) << "the window thread waited on the transfer"; // about 100 when nothing holds it
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
