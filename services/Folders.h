// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

namespace paveno {

// Folders of the library store. Paths are GBK texts with backslashes (see NativePath; a relative one is in the run
// directory); a path that cannot be turned into a Linux path fails the operation. Failure shows only in the result.

// Creates one folder; false when it exists already or its parent is missing.
bool CreateFolder(const Text& path);

// Empties and removes a folder. Refuses the empty path, "/" and the drive-root forms "C:" and "C:\". Entries whose
// name begins with "." are left in place (which leaves the folder too), entries that cannot be removed are skipped;
// the result is true only when the folder itself is gone. A symbolic link is removed as an entry, never followed.
bool DeleteFolder(const Text& path);

} // namespace paveno
