// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace paveno {

// Runs `work` so that the thread of the windows never waits on it: there, it runs on a worker thread while the caller
// waits in the event loop as Delay waits (windows repaint and move, timers tick, clicks run nested), and returns once
// the work is done; an exception of the work is raised again here. On any other thread it simply runs.
void RunWhileWindowsGoOn(const std::function<void()>& work);

// Makes every HTTP transfer run that way (HttpReadFile and HttpFetch keep their one synchronous call), and lets
// transfers run again after StopTransfersAndWait.
void RunTransfersOffTheWindowThread();

// The program is ending: every transfer in flight is stopped, and this returns once no work runs on a worker any
// more, so that nothing touches the network or the program's state while the process goes.
void StopTransfersAndWait();
// Works running on workers now.
int RunningTransfers();

} // namespace paveno
