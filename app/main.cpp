// SPDX-License-Identifier: MIT
// paveno: starts the engine on the program's window data. Everything else lives in the libraries.
#include "app/HeadlessRun.h"
#include "app/Program.h"
#include "forms/Seams.h"
#include "services/ConnectTo.h"
#include "services/CurlLibrary.h"
#include "services/Gbk.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

QtMessageHandler qtHandler = nullptr;

// A headless platform warns of every window feature it lacks ("This plugin does not support
// propagateSizeHints()"), and a shell without a login session has no XDG_RUNTIME_DIR: neither means anything to the
// reader of a headless run. Critical and fatal messages, and every other warning, still go out.
void HeadlessMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::string_view category = context.category ? context.category : "";
    const bool platformNoise =
        (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) &&
        (category.starts_with("qt.qpa.") || text.startsWith(QLatin1String("This plugin does not support ")) ||
         text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")));
    if (!platformNoise && qtHandler) qtHandler(type, context, text);
}

} // namespace

int main(int argc, char** argv) {
    namespace app = paveno::app;
    std::string error;
    const auto options = app::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "paveno: %s\n%.*sSee paveno --help for every option.\n", error.c_str(),
                     static_cast<int>(app::UsageSynopsis().size()), app::UsageSynopsis().data());
        return 2;
    }
    if (options->showHelp) {
        std::fputs(app::UsageText().c_str(), stdout);
        return 0;
    }
    if (options->showVersion) {
        const std::string version = app::ProgramVersion();
        if (version.empty()) {
            std::fputs("paveno: the window data holds no version\n", stderr);
            return 1;
        }
        std::printf("paveno %s\n", version.c_str());
        return 0;
    }
    // A collection shows no window, so it needs no desktop: it takes the minimal platform unless the user chose one
    // (a DISPLAY left over from a closed session would otherwise end a scheduled run). Its windows are never painted,
    // so it needs no fonts either: the minimal platform loads none, where the first text box of the main window would
    // load the system's fonts and find a Chinese one (15 ms of every start). Without a desktop the windows would open
    // where nobody sees them and the program would wait for ever: only a collection runs there.
    if (!IsSet("QT_QPA_PLATFORM")) {
        if (options->collect) {
            setenv("QT_QPA_PLATFORM", "minimal", 1);
        } else if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
            std::fputs("paveno: needs a desktop (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                       "--collect KIND/CATEGORY collects without one\n",
                       stderr);
            return 2;
        }
    }
    if (options->collect) {
        qtHandler = qInstallMessageHandler(HeadlessMessages);
        // A reader of the reports that goes away ends the printing, not the run, which finishes and gives its status.
        std::signal(SIGPIPE, SIG_IGN);
    }
    QApplication application(argc, argv);
    // The network library loads on a second core while the windows are built. The system's loader serves one load at
    // a time, so what the start loads itself goes first: Qt's platform plugin (above) and the GBK converters.
    paveno::OpenGbkConverters();
    const std::jthread curlLoad = paveno::PreloadCurl();
    // Every text of the program is Chinese; Qt's own buttons (OK, Cancel) should be too, whatever the locale.
    paveno::forms::LoadChineseQtTexts();
    paveno::SetConnectTo(paveno::ConnectToFromArguments(argc, argv));
    if (options->collect) return app::RunHeadlessCollection(*options);
    return app::RunProgram(*options);
}
