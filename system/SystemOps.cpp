// SPDX-License-Identifier: MIT
// Message boxes, waiting and random numbers.
#include "system/SystemOps.h"

#include "forms/Seams.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

namespace paveno {

std::int32_t MessageBox(const Text& content, std::uint32_t style, const std::optional<Text>& caption) {
    const int answer =
        forms::CurrentSeams().messageBox->Show(content, caption ? *caption : forms::DefaultBoxCaption(), style);
    return answer >= forms::kAnswerOk && answer <= forms::kAnswerNo ? answer : forms::kAnswerOk;
}

void Delay(std::int32_t ms) {
    if (ms <= 0) return;
    if (!QCoreApplication::instance()) {
        // No event loop to keep alive: a plain sleep is all a wait can be.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    // What is queued already runs first, twice over, so that an event posted by one just handled gets its turn
    // even when the wait is shorter than the handling.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const qint64 left = deadline.remainingTime();
    if (left <= 0) return;
    // Then sleep in a nested loop until the deadline: clicks and timers run inside it, and the thread blocks
    // between them instead of polling. The engine ends its main loop by a flag on that loop, which this one leaves
    // alone, so an end requested meanwhile still takes effect once the waiting handler returns. An application-wide
    // exit stops this loop as well; the wait then ends early, since nothing is left to wait for.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<qint64>(left, INT32_MAX)));
    loop.exec();
}

namespace {
std::uint32_t gSeed = 1;
}

std::int32_t RandomNumber(std::optional<std::int32_t> low, std::optional<std::int32_t> high) {
    std::int64_t lo = low ? std::max<std::int32_t>(*low, 0) : 0;
    std::int64_t hi = high ? std::max<std::int32_t>(*high, 0) : INT32_MAX;
    if (lo > hi) std::swap(lo, hi);
    if (lo == hi) return static_cast<std::int32_t>(lo);
    const std::int64_t span = std::min<std::int64_t>(hi - lo, INT32_MAX - 1);
    gSeed = gSeed * 214013u + 2531011u;
    const std::int64_t r = (gSeed >> 16) & 0x7FFF;
    return static_cast<std::int32_t>(lo + r % (span + 1));
}

void ResetRandomNumber() {
    gSeed = 1;
}

void ReleaseRuntimeObjects() {}

} // namespace paveno
