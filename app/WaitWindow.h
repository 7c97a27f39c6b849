// SPDX-License-Identifier: MIT
#pragma once

namespace paveno::app {

// The wait window of a run, once loaded: its report is read-only, and its 停止 button and the Escape key stop the run
// as its close box does (the run ends with its summary).
void PrepareWaitWindow();
// Asks the wait window to close, as its close box does.
void CloseWaitWindow();

} // namespace paveno::app
