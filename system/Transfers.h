// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace paveno {

// Runs `work` so that the thread of the windows never waits on it: there, it runs on a worker thread while the caller
// waits in the event loop as Delay waits (windows repaint and move, timers tick, clicks run nested), and returns once
// the work is done; an exception of the work is raised again here. On any other thread it simply runs.
void RunWhileWindowsGoOn(const std::function<void()>& work);

// Makes every HTTP transfer run that way (HttpReadFile and HttpFetch keep their one synchronous call).
void RunTransfersOffTheWindowThread();

} // namespace paveno
