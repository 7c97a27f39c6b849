// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

namespace paveno {

// An advisory lock on a folder, or on a file (created when missing; a link at its name is refused with ELOOP), taken
// without waiting. The kernel drops it when the process dies, so a killed program never leaves a library locked.
class FileLock {
public:
    enum class Result { Taken, Busy, Failed };
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock();

    // Taken: the lock is held by this object. Busy: another open of the file holds it. Failed: the file could not
    // be opened; `error` says why.
    Result TryTake(const Text& path, int& error);
    bool Held() const { return fd_ >= 0; }
    void Release();

private:
    int fd_ = -1;
};

} // namespace paveno
