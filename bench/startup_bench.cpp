// SPDX-License-Identifier: MIT
// Time from start to the main window shown, when the update server answers at once (the baseline), when it takes
// no connection, and when it takes the connection and never answers. "Shown" is the first moment the event loop runs
// with the main window visible: before that the window is on screen but cannot paint or be used. Printed, not
// asserted; the target for a server that never answers is under 6 s.
#include "AppWindows.h"
#include "BuildConfig.h"
#include "app/Program.h"
#include "forms/Engine.h"
#include "services/ConnectTo.h"
#include "tests/support/LocalSite.h"
#include "tests/support/TempRunDirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace paveno;

// Milliseconds from the call that starts the program to the first event handled with the main window visible.
double StartToMainWindowShown(const std::filesystem::path& runDirectory) {
    QElapsedTimer clock;
    double shownMs = -1;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (shownMs < 0 && forms::IsWindowLoaded(app::主窗口::id)) {
            forms::Control* window = forms::FindLiveControl(app::主窗口::id, 0);
            if (window && window->widget() && window->widget()->isVisible())
                shownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
    });
    probe.start(1);
    app::ProgramOptions options;
    options.runDirectory = runDirectory;
    clock.start();
    if (!app::StartProgram(options)) return -1;
    while (shownMs < 0 && clock.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return shownMs;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    test::NoProxyEnvironment noProxy;
    test::TempRunDirectory run;
    forms::ScriptedMessageBox box;
    forms::RecordingShell shell;
    forms::RecordingEnd end;
    forms::SetSeams({&box, &shell, &end});

    test::LocalSite answering;
    answering.serve("/pavenobk/banben", "1170");
    test::LocalSite silent;
    silent.respond("/pavenobk/banben", test::SiteResponse::Silent());
    test::UnansweredPort down;
    const std::string host = build::kUpdateHost;
    struct Server {
        const char* what;
        std::string mapping;
    };
    const Server servers[] = {
        {"update server answers at once", answering.connectTo(host)},
        {"update server takes no connection", host + ":80:127.0.0.1:" + std::to_string(down.port())},
        {"update server connects, never answers", silent.connectTo(host)},
    };
    std::printf("start to main window shown (median of %d, offscreen):\n", rounds);
    double baseline = 0;
    for (const Server& server : servers) {
        SetConnectTo({server.mapping});
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i)
            times.push_back(StartToMainWindowShown(run.path()));
        const double ms = Median(times);
        if (baseline == 0) baseline = ms;
        std::printf("  %-40s %9.1f ms  %8.0fx baseline%s\n", server.what, ms, baseline > 0 ? ms / baseline : 0.0,
                    baseline == ms ? "" : (ms < 6000 ? "  (target < 6 s: met)" : "  (target < 6 s: missed)"));
    }
    return 0;
}
