// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace paveno::format {

// An annotated listing of a window data block: every field with its offset, its first bytes, its name and its
// value, property blocks broken into the fields of their kind. A block that fails to read ends with the load error.
std::string DumpWindowData(std::span<const std::uint8_t> block);

} // namespace paveno::format
