// SPDX-License-Identifier: MIT
#pragma once

#include "forms/Seams.h"
#include "services/Text.h"

#include <functional>

class QEventLoop;

namespace paveno {

// The desktop's opener: xdg-open where there is one (Qt's own opener otherwise), given the target as a Linux path or
// as the link itself. xdg-open ends at once when a desktop took the target over, and with a non-zero status when
// nothing could open it; one that is still running when the verdict is due counts as showing the target (a viewer
// run in the foreground) and is left to end by itself.
class DesktopShell final : public forms::ShellSeam {
public:
    // Arms the verdict on an opener that has started and still runs: it quits `wait` when the verdict is due.
    using ArmVerdict = std::function<void(QEventLoop& wait)>;
    // The verdict is due 3 s after the opener started.
    static void AfterThreeSeconds(QEventLoop& wait);

    explicit DesktopShell(ArmVerdict armVerdict = AfterThreeSeconds) : armVerdict_(std::move(armVerdict)) {}
    bool Open(const Text& target) override;

private:
    ArmVerdict armVerdict_;
};

// The shell in force: the seam a test set, else the desktop's.
forms::ShellSeam& Shell();

} // namespace paveno
