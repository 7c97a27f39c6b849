// SPDX-License-Identifier: MIT
#include "app/Program.h"

#include "AppWindows.h"
#include "app/CollectionState.h"
#include "forms/Engine.h"
#include "services/Files.h"
#include "services/Gbk.h"

namespace paveno::app {
namespace {
ProgramOptions& MutableOptions() {
    static ProgramOptions options;
    return options;
}
} // namespace

const ProgramOptions& Options() {
    return MutableOptions();
}

void EndRoutine() {
    State().ReleaseTexts();
}

bool StartProgram(const ProgramOptions& options) {
    MutableOptions() = options;
    ResetState();
    forms::RuntimeOptions runtime;
    runtime.runDirectory = options.runDirectory;
    if (!forms::InitRuntime(Program(), runtime)) return false;
    // The handlers build every path on the run directory; the engine made it the current folder.
    SetRunDirectory(Utf8ToGbkLossy(forms::RunDirectory().string()));
    forms::RegisterEndRoutine(EndRoutine);
    return forms::LoadStartWindow(主窗口::id);
}

int RunProgram(const ProgramOptions& options) {
    if (StartProgram(options)) forms::RunMessageLoop();
    return forms::RuntimeErrorCount() > 0 ? -1 : 0;
}

} // namespace paveno::app
