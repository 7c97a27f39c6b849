// SPDX-License-Identifier: MIT
#pragma once

#include "services/Gbk.h"
#include "services/Http.h"

#include <cstddef>

namespace paveno::app {

// A list page or a download page is text of a few dozen kB; one beyond this is no page the run can use, and cutting
// it into entries would take memory by the hundred MB.
inline constexpr std::size_t kPageCap = std::size_t{8} << 20;

// A page that came whole but beyond the cap (one fetched ahead is not capped on its way) is refused as one cut there.
inline void RefuseOversizedPage(Fetched& fetched) {
    if (fetched.body.size() <= kPageCap) return;
    ByteSet().swap(fetched.body);
    fetched.outcome.whole = false;
    fetched.outcome.reason = Gbk("文件太大");
}

} // namespace paveno::app
