// SPDX-License-Identifier: MIT
// CPU time of Delay(2000) as a share of one core, against the busy wait that polls the queue until the deadline,
// measured in the same run. A timer ticks every 10 ms throughout, as a window's timer would, to show that events
// still run during either wait; one more Delay runs with nothing to do.
#include "system/SystemOps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr int kWaitMs = 2000;

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

struct Figure {
    double wallMs, cpuMs;
    int ticks;
    double share() const { return wallMs > 0 ? 100.0 * cpuMs / wallMs : 0; }
};

Figure Measure(const std::function<void()>& wait, bool ticking = true) {
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&]() { ++ticks; });
    if (ticking) ticker.start(10);
    QElapsedTimer wall;
    const double cpu0 = CpuMs();
    wall.start();
    wait();
    return {static_cast<double>(wall.nsecsElapsed()) / 1e6, CpuMs() - cpu0, ticks};
}

// The wait that polls: process what is queued, look at the clock, again and again.
void BusyWait(int ms) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (t.elapsed() > ms) return;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void Print(const char* name, const Figure& f) {
    std::printf("%-22s %10.1f %10.1f %9.2f%% %8d\n", name, f.wallMs, f.cpuMs, f.share(), f.ticks);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::printf("A wait of %d ms with a 10 ms timer running (CPU = user + system time of the process)\n\n", kWaitMs);
    std::printf("%-22s %10s %10s %10s %8s\n", "wait", "wall ms", "CPU ms", "of a core", "ticks");
    const Figure delay = Measure([]() { paveno::Delay(kWaitMs); });
    Print("Delay", delay);
    Print("Delay, no timer", Measure([]() { paveno::Delay(kWaitMs); }, false));
    const Figure busy = Measure([]() { BusyWait(kWaitMs); });
    Print("busy wait (baseline)", busy);
    std::printf("\nDelay uses %.4f x the CPU time of the busy wait (target: under 5%% of one core)\n",
                busy.cpuMs > 0 ? delay.cpuMs / busy.cpuMs : 0.0);
    return 0;
}
