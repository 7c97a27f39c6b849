// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Control.h"

#include <QAbstractButton>
#include <span>

namespace paveno::test {

// Two small kinds for the engine tests until the real control kinds exist: a push button (block: version 1, then
// a counted caption; property 8 caption, property 9 its child id; event 0 on click) and a plain container that raises
// no events.
constexpr std::uint32_t kTestButtonKind = 0x00FF0001;
constexpr std::uint32_t kTestBoxKind = 0x00FF0002;

std::span<const forms::KindDescriptor* const> TestKinds();

// The button of a live test button, to click it.
QAbstractButton* ButtonOf(std::uint32_t windowId, std::uint32_t controlId);

} // namespace paveno::test
