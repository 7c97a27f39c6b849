// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

namespace paveno::app {

// Keys the window data binds to no event. Each watch lives as long as the control's widget (or window) does, and
// takes the key away from the widget: nothing else happens on it.

// Enter (Return or the keypad's Enter) in a control runs `action`.
void OnEnter(std::uint32_t window, std::uint32_t control, std::function<void()> action);
// Escape anywhere in a window runs `action`, unless the control with the focus used the key itself.
void OnEscape(std::uint32_t window, std::function<void()> action);

} // namespace paveno::app
