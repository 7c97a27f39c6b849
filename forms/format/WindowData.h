// SPDX-License-Identifier: MIT
#pragma once

#include "forms/format/ByteCursor.h"
#include "services/Text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paveno::format {

constexpr std::uint32_t kWindowKind = 0x00010001;
constexpr std::uint32_t kMenuItemKind = 0x00010003;
// A binding whose handler offset is this exists but calls nothing.
constexpr std::uint32_t kNoHandler = 0xFFFFFFFF;

constexpr std::uint32_t kFlagVisible = 1u << 0;
constexpr std::uint32_t kFlagDisabled = 1u << 1;
constexpr std::uint32_t kFlagTabStop = 1u << 2;

struct EventBinding {
    std::int32_t event = 0;
    std::uint32_t handler = kNoHandler;
    bool operator==(const EventBinding&) const = default;
};

// One entry of a control table: the window itself (entry 0), a control, or a menu item. A menu item keeps its
// two values and caption in the menu fields and its only handler as a single binding of event 0.
struct ControlRecord {
    std::uint32_t id = 0; // from the table's id array
    std::uint32_t kindId = 0;
    Text name;
    Text remark;
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    std::uint32_t parentId = 0;
    std::vector<std::uint32_t> children;
    ByteSet pointer = {0, 0, 0, 0}; // u32 pointer type, then a cursor file for a custom pointer
    Text tag;
    std::uint32_t flags = 0;
    std::uint32_t focusOrder = 0;
    std::vector<EventBinding> bindings;
    ByteSet properties; // the kind-specific block, possibly empty

    bool isMenuItem() const { return kindId == kMenuItemKind; }
    std::uint32_t menuValue1 = 0, menuValue2 = 0;
    Text menuCaption;

    bool visible() const { return flags & kFlagVisible; }
    bool disabled() const { return flags & kFlagDisabled; }
    bool tabStop() const { return flags & kFlagTabStop; }
    std::uint32_t pointerType() const;

    bool operator==(const ControlRecord&) const = default;
};

struct WindowRecord {
    std::uint32_t id = 0; // from the window table
    std::uint32_t valueA = 0;
    std::uint32_t unitId = 0;
    Text name;
    Text remark;
    std::vector<ControlRecord> controls; // entry 0 is the window itself

    // Index in the control table, or -1. Control id 0 names the window's own entry.
    int FindControl(std::uint32_t controlId) const;
    bool operator==(const WindowRecord&) const = default;
};

struct WindowData {
    std::vector<WindowRecord> windows;

    const WindowRecord* Find(std::uint32_t windowId) const;
    bool operator==(const WindowData&) const = default;
};

struct LoadError {
    std::size_t offset = 0;
    std::string what;
    std::string ToString() const;
};

struct ReadResult {
    std::optional<WindowData> data;
    LoadError error; // meaningful when data is empty
};

// Reads the whole block; never reads outside `block`. A trace, when given, hears every field.
ReadResult ReadWindowData(std::span<const std::uint8_t> block, const FieldTrace* trace = nullptr);
ByteSet WriteWindowData(const WindowData& data);

} // namespace paveno::format
