// SPDX-License-Identifier: MIT
// paveno: starts the engine on the program's window data. Everything else lives in the libraries.
#include "app/HeadlessRun.h"
#include "app/Program.h"
#include "forms/Seams.h"
#include "services/ConnectTo.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

const char kUsage[] = "usage: paveno [--library] [--connect-to HOST:PORT:ADDR:PORT]... [--run-dir DIR]\n"
                      "       paveno --collect KIND/CATEGORY [--pages N] [--delay MS] [--overwrite]\n"
                      "              [--connect-to HOST:PORT:ADDR:PORT]... [--run-dir DIR]\n";

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = paveno::app::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "paveno: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    // Without a display the program still runs, on Qt's offscreen platform.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    // Every text of the program is Chinese; Qt's own buttons (OK, Cancel) should be too, whatever the locale.
    paveno::forms::LoadChineseQtTexts();
    paveno::SetConnectTo(paveno::ConnectToFromArguments(argc, argv));
    if (options->collect) return paveno::app::RunHeadlessCollection(*options);
    return paveno::app::RunProgram(*options);
}
