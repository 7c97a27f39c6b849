// SPDX-License-Identifier: MIT
#pragma once

#include "app/Program.h"

namespace paveno::app {

// The main job without a desktop: does what a user does in the main window for options.collect (kind, category,
// pages, response delay, overwrite box, 采集), prints every running report and the summary to standard output as
// UTF-8, answers the summary with OK and ends with 0 when every book was collected or present, 1 when a book failed
// or the run could not start (site out of reach, library locked or unwritable). An unknown kind or category prints
// the valid ones and gives 2.
int RunHeadlessCollection(const ProgramOptions& options);

} // namespace paveno::app
