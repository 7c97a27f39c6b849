// SPDX-License-Identifier: MIT
#include "services/WholeFile.h"

#include "services/Files.h"
#include "services/Gbk.h"
#include "services/NativePath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace paveno {
namespace {

constexpr std::string_view kTemporaryPrefix = "~paveno-";
constexpr std::string_view kTemporarySuffix = ".part";

// The file's bytes on the disk before its rename, so that the final name never holds a cut file, not even after a
// power cut. Written out and waited for, without a journal commit of their own: the rename reaches the disk only with
// a commit of the journal, which flushes the disk's cache of what was written before it and carries the file's size
// and blocks (ext4 in its default ordered mode, and other file systems that journal in order). Where the file system
// cannot write a range out, the data is synced whole.
bool DataOnDisk(int fd) {
    if (sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) ==
        0)
        return true;
    return (errno == EINVAL || errno == ENOSYS || errno == ESPIPE || errno == EOPNOTSUPP) && fdatasync(fd) == 0;
}

} // namespace

mode_t NewFileMode() {
    static const mode_t mode = [] {
        mode_t mask = 022;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("Umask:", 0) == 0) mask = static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

namespace {

// A new, empty temporary file beside `path`, with the permissions that the final file will have: its descriptor, its
// name in `temp`; or -1 with errno set, nothing left behind and `temp` empty.
int CreateTemporary(const std::string& path, std::string& temp) {
    // A short name of its own, so that a final name near the file system's limit still has a temporary one.
    const size_t slash = path.rfind('/');
    temp = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + std::string(kTemporaryPrefix) + "XXXXXX.part";
    const int fd = mkostemps(temp.data(), static_cast<int>(kTemporarySuffix.size()), O_CLOEXEC);
    if (fd < 0) {
        temp.clear();
        return -1;
    }
    // The permissions of the file replaced, not of whatever a link at the name points to: the rename replaces the
    // link itself.
    struct stat st {};
    const mode_t mode = lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (st.st_mode & 0777) : NewFileMode();
    if (fchmod(fd, mode) != 0) {
        const int error = errno;
        close(fd);
        unlink(temp.c_str());
        temp.clear();
        errno = error;
        return -1;
    }
    return fd;
}

// The bytes under a temporary name beside `path`, which `temp` then holds: 0, or the errno of the failed step with
// nothing left behind.
int WriteTemporary(const std::string& path, std::string_view bytes, bool durable, std::string& temp) {
    const int fd = CreateTemporary(path, temp);
    if (fd < 0) return errno;
    int error = 0;
    if (!WriteAll(fd, bytes) || (durable && !DataOnDisk(fd))) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        unlink(temp.c_str());
        temp.clear();
    }
    return error;
}

} // namespace

int ReplaceWholeFile(const std::string& path, std::string_view bytes, bool durable) {
    std::string temp;
    int error = WriteTemporary(path, bytes, durable, temp);
    if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        unlink(temp.c_str());
    }
    return error;
}

PreparedFile::PreparedFile(const Text& path, bool durable) : path_(path), durable_(durable) {
    const auto native = NativePath(path);
    if (native)
        native_ = *native;
    else
        error_ = EINVAL;
}

PreparedFile::PreparedFile(const Text& path, std::span<const std::uint8_t> bytes, bool durable)
    : PreparedFile(path, durable) {
    Append(bytes);
    Close();
}

PreparedFile::~PreparedFile() {
    if (fd_ >= 0) close(fd_);
    if (!temp_.empty()) unlink(temp_.c_str());
}

bool PreparedFile::Open() {
    if (fd_ < 0 && error_ == 0 && !closed_) {
        fd_ = CreateTemporary(native_, temp_);
        if (fd_ < 0) error_ = errno;
    }
    return fd_ >= 0;
}

void PreparedFile::Append(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || error_ != 0 || !Open()) return;
    if (!WriteAll(fd_, {reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
        error_ = errno;
        return;
    }
    size_ += bytes.size();
}

void PreparedFile::Rewind() {
    if (fd_ < 0 || size_ == 0) return;
    if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) error_ = errno;
    size_ = 0;
}

void PreparedFile::Close() {
    Open(); // an empty file is a file too
    closed_ = true;
    if (fd_ < 0) return;
    // The disk may take the bytes while nobody waits for them; the commit then rarely has to.
    if (error_ == 0 && durable_) sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
}

std::optional<ByteSet> PreparedFile::ReadBack() const {
    if (error_ != 0 || temp_.empty()) return std::nullopt;
    ByteSet bytes(size_); // before the file is open: memory that runs short leaves nothing open
    const int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool whole = ReadUpTo(fd, bytes) == bytes.size();
    close(fd);
    if (!whole) return std::nullopt;
    return bytes;
}

int PreparedFile::Commit() {
    Close();
    if (error_ == 0 && !temp_.empty()) {
        if (durable_) {
            const int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || !DataOnDisk(fd)) error_ = errno;
            if (fd >= 0) close(fd);
        }
        if (error_ == 0 && rename(temp_.c_str(), native_.c_str()) != 0) error_ = errno;
    }
    if (!temp_.empty()) {
        if (error_ != 0) unlink(temp_.c_str());
        temp_.clear();
    }
    return error_;
}

int WriteFileWhole(const Text& path, std::span<const std::uint8_t> bytes, bool durable) {
    const auto native = NativePath(path);
    if (!native) return EINVAL;
    return ReplaceWholeFile(*native, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, durable);
}

Text WriteFailureReason(int error) {
    switch (error) {
    case 0:
        return {};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Gbk("磁盘已满");
    case EACCES:
    case EPERM:
    case EROFS:
        return Gbk("没有写入权限");
    case ENAMETOOLONG:
        return Gbk("文件名太长");
    case ENOENT:
    case ENOTDIR:
        return Gbk("文件夹不存在");
    case EINVAL:
        return Gbk("文件名无效");
    case ELOOP:
        return Gbk("文件是符号链接");
    default:
        return Gbk("写入失败");
    }
}

bool IsTemporaryFileName(std::string_view name) {
    return name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size() && name.starts_with(kTemporaryPrefix) &&
           name.ends_with(kTemporarySuffix);
}

void RemoveTemporaryFiles(const Text& folder) {
    const auto native = NativePath(folder);
    if (!native) return;
    const int fd = open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    // The name says whether an entry is ours; only those are looked at closer (a folder or a link of that name
    // stays).
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir)) {
        if (!IsTemporaryFileName(entry->d_name)) continue;
        struct stat st {};
        if (entry->d_type == DT_REG ||
            (entry->d_type == DT_UNKNOWN && fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISREG(st.st_mode)))
            leftovers.emplace_back(entry->d_name);
    }
    for (const auto& name : leftovers)
        unlinkat(fd, name.c_str(), 0);
    closedir(dir);
}

} // namespace paveno
