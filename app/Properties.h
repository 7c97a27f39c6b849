// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Engine.h"
#include "services/TextOps.h"

#include <cstdint>

namespace paveno::app {

// Property numbers that the handlers use.
enum Property : int {
    kWidth = 2,
    kHeight = 3,
    kVisible = 5,
    kEditContent = 8,     // edit box
    kCaption = 8,         // window, transparent label
    kFolder = 8,          // file box
    kInterval = 8,        // timer
    kComboContent = 9,    // combo box
    kRichContent = 9,     // rich edit box
    kSelectedFile = 9,    // file box
    kPicture = 10,        // picture box
    kUrl = 11,            // HTML viewer
    kChecked = 18,        // check box, radio button
    kSelection = 19,      // combo box
    kShownInTaskbar = 26, // window
};

// Typed access to a control property: the value is converted as the handlers convert it (texts and numbers).
inline Text ReadText(std::uint32_t window, std::uint32_t control, int property) {
    return ToText(forms::ReadProperty(window, control, property));
}
inline std::int32_t ReadInteger(std::uint32_t window, std::uint32_t control, int property) {
    return TruncateToInteger(ToNumber(forms::ReadProperty(window, control, property)));
}
inline bool ReadLogical(std::uint32_t window, std::uint32_t control, int property) {
    return ToNumber(forms::ReadProperty(window, control, property)) != 0;
}
inline void WriteText(std::uint32_t window, std::uint32_t control, int property, const Text& text) {
    forms::WriteProperty(window, control, property, Value::FromText(text));
}
inline void WriteInteger(std::uint32_t window, std::uint32_t control, int property, std::int32_t value) {
    forms::WriteProperty(window, control, property, Value::Integer(value));
}
inline void WriteLogical(std::uint32_t window, std::uint32_t control, int property, bool value) {
    forms::WriteProperty(window, control, property, Value::Logical(value));
}
inline void WriteBytes(std::uint32_t window, std::uint32_t control, int property, ByteSet bytes) {
    forms::WriteProperty(window, control, property, Value::FromBytes(std::move(bytes)));
}

} // namespace paveno::app
