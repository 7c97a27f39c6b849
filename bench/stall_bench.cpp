// SPDX-License-Identifier: MIT
// The longest time the window thread goes without handling events during a collection, against the demo site acting
// as a distant one (120 ms per answer, 400 kB/s): with transfers on the window thread (as before) and on a worker (as
// now), at response delays 0 and 1. A 1 ms timer on the window thread measures the gaps between its ticks. Printed,
// not asserted; the target is under 50 ms. Usage: stall_bench [BOOKS]
#include "AppWindows.h"
#include "app/Program.h"
#include "app/Properties.h"
#include "app/UserActions.h"
#include "forms/Engine.h"
#include "services/ConnectTo.h"
#include "services/Gbk.h"
#include "services/Http.h"
#include "tests/support/LocalSite.h"
#include "tests/support/TempRunDirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using namespace paveno;
namespace W = app::主窗口;

struct Figure {
    double longestGapMs = 0;
    double seconds = 0;
};

Figure Collect(forms::ScriptedMessageBox& box, bool offTheWindowThread, int delayMs) {
    test::TempRunDirectory run;
    app::ProgramOptions options;
    options.runDirectory = run.path();
    options.updateCheck = false;
    if (!app::StartProgram(options)) std::exit(1);
    if (!offTheWindowThread) SetTransferRunner({});

    app::WriteText(W::id, W::编辑框2, forms::EditBox::kContent, Gbk(std::to_string(delayMs)));
    app::ClickControl(W::id, W::按钮3);
    app::ClickControl(W::id, W::单选框1);
    app::PickItem(W::id, W::完本类, 0);
    app::WriteText(W::id, W::编辑框1, forms::EditBox::kContent, "1");

    QElapsedTimer clock, sinceTick;
    Figure figure;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    static const bool trace = std::getenv("PAVENO_STALL_TRACE") != nullptr; // prints each gap over 20 ms
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double gap = static_cast<double>(sinceTick.nsecsElapsed()) / 1e6;
        if (trace && gap > 20) std::fprintf(stderr, "  gap %.1f ms at %.3f s\n", gap, clock.elapsed() / 1000.0);
        figure.longestGapMs = std::max(figure.longestGapMs, gap);
        sinceTick.restart();
    });
    // The run ends where its summary box shows (a real box handles events again); a window thread that never got
    // back to its events during the run ticked not once before it.
    box.answers = {forms::kAnswerCancel};
    box.whileShown = [&] {
        figure.longestGapMs = std::max(figure.longestGapMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        figure.seconds = static_cast<double>(clock.elapsed()) / 1000;
        probe.stop();
    };
    probe.start(1);
    clock.start();
    sinceTick.start();
    app::ClickControl(W::id, W::按钮2); // returns once the summary is answered
    app::ProcessPendingEvents();
    return figure;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const std::string books = argc > 1 ? argv[1] : "10";
    test::NoProxyEnvironment noProxy;

    char log[] = "/tmp/paveno-stall-site-XXXXXX";
    const int logFd = mkstemp(log);
    const pid_t site = fork();
    if (site == 0) {
        dup2(logFd, 1);
        execl(PAVENO_DEMO_SITE, PAVENO_DEMO_SITE, "--port", "0", "--books-per-category", books.c_str(),
              "--archive-bytes", "100000", "--latency-ms", "120", "--rate-kbps", "400", nullptr);
        _exit(127);
    }
    int port = 0;
    for (int i = 0; i < 200 && port == 0; ++i) {
        usleep(20000);
        if (FILE* f = std::fopen(log, "r")) {
            std::fscanf(f, "paveno-demo-site listening on 127.0.0.1:%d", &port);
            std::fclose(f);
        }
    }
    if (port == 0) return 1;
    SetConnectTo({"::127.0.0.1:" + std::to_string(port)});
    forms::ScriptedMessageBox box;
    forms::RecordingShell shell;
    forms::RecordingEnd end;
    forms::SetSeams({&box, &shell, &end});

    std::printf("longest time without events on the window thread, %s books, 120 ms per answer, 400 kB/s:\n",
                books.c_str());
    for (const int delay : {0, 1}) {
        const Figure before = Collect(box, false, delay);
        const Figure after = Collect(box, true, delay);
        std::printf("  response delay %d: transfers on the window thread %8.1f ms, on a worker %6.1f ms (%.3fx)"
                    "  [runs %.1f s / %.1f s]%s\n",
                    delay, before.longestGapMs, after.longestGapMs, after.longestGapMs / before.longestGapMs,
                    before.seconds, after.seconds,
                    after.longestGapMs < 50 ? "  target < 50 ms: met" : "  target missed");
    }
    kill(site, SIGTERM);
    unlink(log);
    return 0;
}
