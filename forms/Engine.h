// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Control.h"
#include "forms/Program.h"
#include "forms/Seams.h"
#include "forms/format/WindowData.h"
#include "services/Value.h"

#include <QPointer>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class QEventLoop;

namespace paveno::forms {

struct RuntimeOptions {
    // The run directory, which the engine hands to the services at start (see services/RunDirectory.h); empty
    // means the folder of the executable. The program gives the folder it chose for the library.
    std::filesystem::path runDirectory;
    // Kinds consulted after the built-in kinds table (tests add their own here).
    std::span<const KindDescriptor* const> extraKinds;
    // Windows that nobody sees (a run without a desktop): they are made, shown and driven as on a screen, and their
    // handlers read them so, but they never reach one and are never painted.
    bool offScreen = false;
};

// The window and control whose event handler is running; both 0 when none.
struct EventSource {
    std::uint32_t window = 0;
    std::uint32_t control = 0;
};

// The entry points through which the application reaches the engine.
bool InitRuntime(const ProgramHeader& header, const RuntimeOptions& options = {});
void RegisterEndRoutine(std::function<void()> routine);
bool LoadStartWindow(std::uint32_t windowId);
void RunMessageLoop();
Value ReadProperty(std::uint32_t windowId, std::uint32_t controlId, int property, int element = -1);
void WriteProperty(std::uint32_t windowId, std::uint32_t controlId, int property, int element, const Value& value);
inline void WriteProperty(std::uint32_t windowId, std::uint32_t controlId, int property, const Value& value) {
    WriteProperty(windowId, controlId, property, -1, value);
}
// Blocks are plain values here: FreeBlock empties one, AllocBlock makes a zeroed byte set of `count` bytes or
// reports the run-time error when that cannot be had.
void FreeBlock(Value& block);
ByteSet AllocBlock(std::int32_t count);
void EndProgram(int code);

// Engine services for the system operations and the kinds.
// Creates the window from its record, raises its creation events and shows it; a window loaded already is only
// brought forward.
bool LoadWindow(std::uint32_t windowId, bool modal = false, std::uint32_t ownerWindowId = 0);
// Destroys a loaded window now (its event 2 first); false when it is not loaded.
bool DestroyWindow(std::uint32_t windowId);
bool IsWindowLoaded(std::uint32_t windowId);
// Ready: every creation step is done; until then moves, resizes and focus changes raise no event.
bool IsWindowReady(std::uint32_t windowId);
// A control gained or lost the keyboard focus (events -7 and -8); a gain before the window is ready is raised once
// it has been shown.
void NoteFocus(std::uint32_t windowId, std::uint32_t controlId, bool gained);
Control* FindLiveControl(std::uint32_t windowId, std::uint32_t controlId);
// Raises an event of a control (control 0: the window itself). Returns true when a handler ran.
bool RaiseEvent(std::uint32_t windowId, std::uint32_t controlId, int event);
EventSource CurrentEventSource();
// Reports a run-time error: the box, the end routine forgotten, the program ended with -1.
void RuntimeError(const Text& message, int code = 0);
int RuntimeErrorCount();
const format::WindowData* LoadedWindowData();
// The kind of a kind id: the built-in table first, then the extra kinds.
const KindDescriptor* FindKind(std::uint32_t kindId);

} // namespace paveno::forms
