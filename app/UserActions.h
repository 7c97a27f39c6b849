// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace paveno::app {

// What a user does with the mouse, done on the live widgets so that the kinds raise their events as for a person.
// Each returns false when the control is not there or is of another kind.
bool ClickControl(std::uint32_t window, std::uint32_t control);
bool PickItem(std::uint32_t window, std::uint32_t combo, int index); // the selection event follows, posted

// Runs every pending event, the posted ones (selection events, deferred closes) included.
void ProcessPendingEvents();

} // namespace paveno::app
