// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

namespace paveno::app {

// Watches the title bar's close (✕) of a loaded window, which the window data binds to no handler. `onClose` runs
// first; when it gives false the window stays open. Closing the window from code goes through it too.
void WatchClose(std::uint32_t window, std::function<bool()> onClose);

} // namespace paveno::app
