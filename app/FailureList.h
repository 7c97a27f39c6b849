// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstddef>
#include <vector>

namespace paveno::app {

// The books of the running collection that could not be collected, with the reason of each, so that the user sees
// them in the wait window while the run goes on and is told at the end where they are recorded.
class FailureList {
public:
    // The running report shows this many of them, the latest first; the record file holds every one.
    static constexpr std::size_t kShown = 20;

    void Clear() { books_.clear(); }
    void Add(const Text& title, const Text& reason);
    std::size_t size() const { return books_.size(); }

    // What goes under the running report: nothing while no book failed, else a heading and a line per failed book
    // ("title：reason"), the latest first, and after kShown of them a line that counts the others.
    Text ReportText() const;
    // What goes after the summary's text: nothing while no book failed, else one line that gives the record file
    // (`recordPath` in the program's form, shown as the user's desktop writes paths).
    Text SummaryLine(const Text& recordPath) const;

private:
    struct Failed {
        Text title, reason;
    };
    std::vector<Failed> books_;
};

} // namespace paveno::app
