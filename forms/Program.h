// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace paveno::forms {

// An event handler of the application: no parameters, no result.
using Handler = void (*)();

// The program header through which the engine finds the window data. The compiler writes one per window data
// source. The code base is the application's handler table: a binding's handler offset is an index into it.
struct ProgramHeader {
    std::uint32_t runMode = 3;
    std::uint32_t reserved = 0;
    std::uint32_t buildNumber = 0;
    const Handler* codeBase = nullptr;
    std::size_t handlerCount = 0;
    const std::uint8_t* windowData = nullptr;
    std::size_t windowDataSize = 0;
    std::uint32_t libraryCount = 0;
};

} // namespace paveno::forms
