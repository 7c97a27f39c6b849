// SPDX-License-Identifier: MIT
#pragma once

namespace paveno {

// The run-time error of an operation that names a window or control that is not loaded.
void ReportNotLoaded();

} // namespace paveno
