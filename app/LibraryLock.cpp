// SPDX-License-Identifier: MIT
#include "app/LibraryLock.h"

#include "app/LibraryStore.h"
#include "services/FileLock.h"
#include "services/Gbk.h"
#include "services/RunDirectory.h"
#include "services/TextOps.h"
#include "services/WholeFile.h"

namespace paveno::app {
namespace {

struct ProcessLock {
    FileLock file;
    int holders = 0;
};

ProcessLock& Shared() {
    static ProcessLock lock;
    return lock;
}

} // namespace

LibraryLock::LibraryLock() {
    ProcessLock& shared = Shared();
    if (shared.holders == 0) {
        int error = 0;
        switch (shared.file.TryTake(store::LockPath(GetRunDirectory()), error)) {
        case FileLock::Result::Taken:
            break;
        case FileLock::Result::Busy:
            busy_ = true;
            problem_ = Gbk("书库正在被另一个采集使用");
            return;
        case FileLock::Result::Failed:
            problem_ = JoinTexts(Gbk("无法写入书库："), WriteFailureReason(error));
            return;
        }
    }
    ++shared.holders;
    held_ = true;
}

LibraryLock::~LibraryLock() {
    ProcessLock& shared = Shared();
    if (held_ && --shared.holders == 0) shared.file.Release();
}

} // namespace paveno::app
