// SPDX-License-Identifier: MIT
// paveno: starts the engine on the program's window data. Everything else lives in the libraries.
#include "app/Program.h"
#include "services/ConnectTo.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    // Without a display the program still runs, on Qt's offscreen platform.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    paveno::SetConnectTo(paveno::ConnectToFromArguments(argc, argv));

    paveno::app::ProgramOptions options;
    return paveno::app::RunProgram(options);
}
