// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <filesystem>

namespace paveno {

// The run directory: the folder that holds the library (小说, the page cache 缓存, the updater). This is its one
// owner; every path is built on it, and a relative path given to the file layer resolves against it, never against
// the process's working folder, which nothing here reads or changes.
//
// The program chooses it at start: the folder given with --run-dir, else the executable's folder when files can be
// created there and it is no system folder of programs, else the user's data folder ($XDG_DATA_HOME/paveno); the
// engine sets it when it starts (tests give their own folder). Until then it is the executable's folder.

// The run directory as a GBK text without a trailing separator; "" when it is "/".
Text GetRunDirectory();
void SetRunDirectory(const Text& folder);
// The folder that holds the running executable (from /proc/self/exe); the current folder when that cannot be read.
std::filesystem::path ExecutableFolder();

} // namespace paveno
