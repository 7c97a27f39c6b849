// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Engine.h"
#include "forms/kinds/CheckButton.h"
#include "forms/kinds/ComboBox.h"
#include "forms/kinds/EditBox.h"
#include "forms/kinds/FileBox.h"
#include "forms/kinds/HtmlViewer.h"
#include "forms/kinds/PictureBox.h"
#include "forms/kinds/RichEdit.h"
#include "forms/kinds/Timer.h"
#include "forms/kinds/TransparentLabel.h"
#include "forms/kinds/WindowKind.h"
#include "services/TextOps.h"

#include <cstdint>

namespace paveno::app {

// Typed access to a control property (numbered by the kinds' constants, forms::EditBox::kContent and the like): the
// value is converted as the handlers convert it (texts and numbers).
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
