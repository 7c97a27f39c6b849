// SPDX-License-Identifier: MIT
#pragma once

namespace paveno {

// A number for a new entry of a table of handles given to the handlers (open files, file searches): counting up from
// `next`, never 0 (which stands for "none") nor a number still in use.
int NewNumber(int& next, const auto& table) {
    while (next <= 0 || table.count(next))
        next = next <= 0 ? 1 : next + 1;
    return next++;
}

} // namespace paveno
