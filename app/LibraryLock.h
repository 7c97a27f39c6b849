// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

namespace paveno::app {

// One library has one writer: a collection holds the library's advisory lock for as long as it runs, and the page
// cache is deleted only under it. The kernel drops the lock when the process dies. Holders in one process nest and
// share the one lock, so the run and the clean-up at its end never refuse each other.
class LibraryLock {
public:
    LibraryLock(); // tries at once, never waits
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

    bool Held() const { return held_; }
    // Another program holds the lock (as opposed to a library where no lock file can be made).
    bool Busy() const { return busy_; }
    // What to tell the user when the lock is not held (GBK).
    const Text& Problem() const { return problem_; }

private:
    bool held_ = false;
    bool busy_ = false;
    Text problem_;
};

} // namespace paveno::app
