// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Seams.h"
#include "services/Text.h"

#include <cstdint>
#include <optional>

namespace paveno {

// System operations that the handlers call: message boxes, the shell, waiting, random numbers, loading and closing
// windows, combo box, list box and focus operations. Windows and controls are named by their ids. A window or
// control that is not loaded is the run-time error "指定窗口或窗口组件不存在或尚未载入" where noted.

// Shows a task-modal box of a style (forms::kBox...) and gives its answer (forms::kAnswer...; kAnswerOk for any
// other a box gives); the caption is "信息：" when omitted. Timers and other events go on while it is up.
std::int32_t MessageBox(const Text& content, std::uint32_t style, const std::optional<Text>& caption = std::nullopt);

// Asks the desktop to open a URL, a document, a folder or a program through the shell seam (system/ShellOpen.h).
// When nothing can open it the user is told in a box that gives the path or the link (a link is also put on the
// clipboard); for a file whose folder exists the box offers to open the folder instead. True when the target itself
// was opened.
bool OpenWebPage(const Text& target);

// Waits while the windows stay responsive: events (a click, a timer) run nested before it returns. It sleeps in
// the event loop instead of spinning a core. ms <= 0 returns at once without processing anything.
void Delay(std::int32_t ms);

// The seed-1 generator of the old runtime: both bounds included, negative bounds taken as 0, swapped when reversed.
std::int32_t RandomNumber(std::optional<std::int32_t> low = std::nullopt,
                          std::optional<std::int32_t> high = std::nullopt);
// Sets the generator back to its start (tests).
void ResetRandomNumber();

// Loads a window (or brings it forward when it is loaded); false when the parent is not loaded or creation failed.
bool LoadWindow(std::uint32_t windowId, std::optional<std::uint32_t> parentWindowId = std::nullopt, bool modal = false);
// Closes a loaded window after the running handler returns, or at once when destroyNow is true.
// Run-time error when the window is not loaded.
void CloseWindow(std::uint32_t windowId, std::optional<bool> destroyNow = std::nullopt);

// Run-time error when the window or control is not loaded.
void SetFocus(std::uint32_t windowId, std::uint32_t controlId);
std::int32_t GetItemCount(std::uint32_t windowId, std::uint32_t comboBoxId);
Text GetItemText(std::uint32_t windowId, std::uint32_t comboBoxId, std::int32_t index);
std::int32_t GetListItemCount(std::uint32_t windowId, std::uint32_t listBoxId);
Text GetListItemText(std::uint32_t windowId, std::uint32_t listBoxId, std::int32_t index);
std::int32_t AddListItem(std::uint32_t windowId, std::uint32_t listBoxId, const Text& text, std::int32_t data = 0);
void ClearListItems(std::uint32_t windowId, std::uint32_t listBoxId);

// The program keeps no run-time objects of its own; kept for the handlers that call it.
void ReleaseRuntimeObjects();

} // namespace paveno
