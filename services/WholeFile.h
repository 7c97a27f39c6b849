// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace paveno {

// Files that are whole or absent: the bytes go to a temporary file in the same folder, which is renamed over the
// final name once complete, so a kill (or a full disk) at any moment leaves the old file or the whole new one.

// Writes `bytes` to the Linux path `path`. 0 when written, otherwise the errno of the step that failed; the old file
// is then untouched and the temporary file gone. An existing file keeps its permissions, a new one gets 0666 less
// the umask. `durable` writes the data out to the disk before the rename, so that not even a power cut leaves a cut
// file under the final name (the file may then be the old one, or missing if it is new).
int ReplaceWholeFile(const std::string& path, std::string_view bytes, bool durable = false);
mode_t NewFileMode();

// The first half of ReplaceWholeFile, done ahead: the bytes written under a temporary name beside the final one (a
// GBK path as the handlers build it), for Commit to put in place later; `durable` starts their write-out once the
// writing is over and has the commit wait for it before the rename. Dropped without a commit, the temporary file
// goes; a kill leaves it for RemoveTemporaryFiles. So a file can be written where the cost does not hold anyone up
// (as it comes from the network, even), and renamed where the order of a book's files is kept.
class PreparedFile {
public:
    // Written bit by bit: Append, then Close (or Commit). The temporary file is made at the first bytes.
    PreparedFile(const Text& path, bool durable);
    // Written whole at once.
    PreparedFile(const Text& path, std::span<const std::uint8_t> bytes, bool durable);
    ~PreparedFile();
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;

    // More bytes at the end. A failed write is kept for the commit to report, and the bytes after it go nowhere.
    void Append(std::span<const std::uint8_t> bytes);
    // Back to no bytes at all: a transfer asked again writes its body anew.
    void Rewind();
    // The writing is over: a file still without bytes is made empty, and a durable one starts its write-out.
    void Close();
    std::uint64_t Size() const { return size_; }
    // The bytes written, read back from the disk; nullopt when they cannot be (a write or the read failed). Throws
    // std::bad_alloc when memory cannot hold them.
    std::optional<ByteSet> ReadBack() const;
    // A write failed: the commit will say why.
    bool Failed() const { return error_ != 0; }

    const Text& Path() const { return path_; } // the final name
    // Renames the file over its final name: 0, or the errno of the failed write or rename (the old file is then
    // untouched). Only the first commit does anything; the temporary name is gone afterwards either way.
    int Commit();

private:
    bool Open();

    Text path_;
    std::string native_, temp_;
    bool durable_ = false;
    bool closed_ = false;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    int error_ = 0;
};

// The same for a path as the handlers build it (GBK, backslashes); ENOENT-like errors for a path that is no name.
int WriteFileWhole(const Text& path, std::span<const std::uint8_t> bytes, bool durable = false);

// What a failed write says to the user, in a few Chinese words (GBK): 磁盘已满, 没有写入权限, 文件名太长...
Text WriteFailureReason(int error);

// The program's temporary files carry names of this form; a kill leaves them behind, and a new collection removes
// them. Removes every such file in the folder (a GBK path), not in its sub-folders: a run cleans the folders it
// writes, without walking a library of 100,000 books. Links of such a name are left alone.
bool IsTemporaryFileName(std::string_view name);
void RemoveTemporaryFiles(const Text& folder);

} // namespace paveno
