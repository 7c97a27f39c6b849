// SPDX-License-Identifier: MIT
#include "services/FileLock.h"

#include "services/NativePath.h"
#include "services/WholeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace paveno {

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    Release();
}

FileLock::Result FileLock::TryTake(const Text& path, int& error) {
    Release();
    error = 0;
    const auto native = NativePath(path);
    if (!native) {
        error = EINVAL;
        return Result::Failed;
    }
    // A folder is locked as it is (a linked folder is followed: it is the user's choice); a file is made when
    // missing, and a link at its name is refused rather than followed.
    int fd = open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && (errno == ENOTDIR || errno == ENOENT))
        fd = open(native->c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, NewFileMode());
    if (fd < 0) {
        error = errno;
        return Result::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        close(fd);
        return error == EWOULDBLOCK ? Result::Busy : Result::Failed;
    }
    fd_ = fd;
    return Result::Taken;
}

void FileLock::Release() {
    if (fd_ >= 0) close(fd_); // closing the only descriptor drops the lock
    fd_ = -1;
}

} // namespace paveno
