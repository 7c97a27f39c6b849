// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paveno::app {

// The bounds of the headless run's numbers: list pages per category and the response delay.
inline constexpr long kMaxPages = 10000;
inline constexpr long kMaxDelayMs = 600000;

// A collection asked for on the command line: what a user would choose in the main window.
struct CollectRequest {
    std::string kind;     // "完本" or "连载中" (UTF-8)
    std::string category; // a category name of that kind (UTF-8); empty for every category of the kind, and for
                          // both kinds when `kind` is "全部"
    std::string pages;    // typed into the page field
    std::optional<std::string> delayMs;
    std::optional<int> connections; // instead of the library's setting
    bool overwrite = false;
    bool newOnly = false;   // end a category after the first list page without a new book
    bool scheduled = false; // the daily run: pages and delay from the settings file, a locked library waited for
};

// How this run of the program was asked to start.
struct ProgramOptions {
    std::filesystem::path runDirectory; // the library's folder; empty: the one ChooseRunDirectory picks
    bool updateCheck = true;            // ask the update server at start
    bool openLibrary = false;           // start with the library window instead of the main window
    std::optional<CollectRequest> collect;
    bool showHelp = false;    // print the usage and end, whatever else was given
    bool showVersion = false; // print the version and end
};

// Reads the command line (the connection mapping options are left to the HTTP layer). On a mistake, `error` says
// what is wrong and nullopt is returned.
std::optional<ProgramOptions> ParseArguments(const std::vector<std::string>& args, std::string& error);

// The command line in short, for a mistake, and the whole of it (every option, the environment, the exit statuses)
// for --help. UTF-8, ending in a line break.
std::string_view UsageSynopsis();
std::string UsageText();

// The program's own version ("1170"): the one the update window compares with the server's, read from the window
// data so that both always agree. Empty if the window data lacks it.
std::string ProgramVersion();

// Where the library lives when no run directory is given: the executable's folder when files can be created there
// and it is no system folder of programs (/usr/..., /bin, /sbin), otherwise (an installed program) the user's data
// folder $XDG_DATA_HOME/paveno, ~/.local/share/paveno when that variable is unset or not absolute, created when
// missing. The executable's folder when that cannot be made either.
std::filesystem::path ChooseRunDirectory(const std::filesystem::path& executableFolder);

// The options of the running program (the handlers read them).
const ProgramOptions& Options();

// The library folder for these options, absolute and made if missing; nullopt (and a message on standard error)
// when it cannot be made.
std::optional<std::filesystem::path> ResolveRunDirectory(const ProgramOptions& options);

// Program entry up to the message loop: engine, end routine, start window. False when the engine could not start
// (the run-time error has been reported then).
bool StartProgram(const ProgramOptions& options);
// The exit code of a StartProgram that returned false: 1 for an unusable library folder, -1 after a run-time error.
int StartFailure();
// StartProgram, then the message loop; the exit code of an orderly end.
int RunProgram(const ProgramOptions& options);

// The end routine, run once by the engine when the program ends through EndProgram.
void EndRoutine();

} // namespace paveno::app
