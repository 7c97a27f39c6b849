// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Control.h"

#include <span>

namespace paveno::forms {

// The kinds table: every control kind the engine can create, in one list.
std::span<const KindDescriptor* const> BuiltInKinds();

} // namespace paveno::forms
