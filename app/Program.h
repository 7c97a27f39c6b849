// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace paveno::app {

// How this run of the program was asked to start.
struct ProgramOptions {
    std::filesystem::path runDirectory; // empty: the folder of the executable
    bool updateCheck = true;            // ask the update server at start
};

// The options of the running program (the handlers read them).
const ProgramOptions& Options();

// Program entry up to the message loop: engine, end routine, main window. False when the engine could not start
// (the run-time error has been reported then).
bool StartProgram(const ProgramOptions& options);
// StartProgram, then the message loop; the exit code of an orderly end.
int RunProgram(const ProgramOptions& options);

// The end routine, run once by the engine when the program ends through EndProgram.
void EndRoutine();

} // namespace paveno::app
