// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>

namespace paveno {

// Files and folders of the library store. Paths are GBK texts with backslashes as the handlers build them (see
// NativePath); a path that cannot be turned into a Linux path fails the operation. Nothing here shows a message or
// throws: failure shows only in the result (false, -1, 0, the empty text or byte set).

// The folder of the executable as a GBK text without a trailing separator; "" when that folder is "/".
Text GetRunDirectory();
// The engine fixes the run directory at start (tests give their own); until then it is the executable's folder.
void SetRunDirectory(const Text& folder);
// The folder that holds the running executable (from /proc/self/exe); the current folder when that cannot be read.
std::filesystem::path ExecutableFolder();

// Creates one folder; false when it exists already or its parent is missing.
bool CreateFolder(const Text& path);

// Empties and removes a folder. Refuses the empty path, "/" and the drive-root forms "C:" and "C:\". Entries whose
// name begins with "." are left in place (which leaves the folder too), entries that cannot be removed are skipped;
// the result is true only when the folder itself is gone. A symbolic link is removed as an entry, never followed.
bool DeleteFolder(const Text& path);

// Size of the first entry matching the path ("*" and "?" allowed in the last part): the low 32 bits of its size,
// 0 for a folder, -1 when nothing matches.
std::int32_t GetFileSize(const Text& path);

// The whole file; the empty byte set for a missing, empty or unreadable file.
ByteSet ReadFileBytes(const Text& path);

// Creates or truncates the file and writes the parts in order; false when the file cannot be created or a write
// fails (the bytes written so far stay).
bool WriteFileBytes(const Text& path, std::initializer_list<std::span<const std::uint8_t>> parts);
inline bool WriteFileBytes(const Text& path, std::span<const std::uint8_t> bytes) {
    return WriteFileBytes(path, {bytes});
}

// Appends the bytes to the end of the file (created when missing) in one write, so that lines appended by two
// programs never interleave. False when the file cannot be opened or the write fails.
// A symbolic link at the name is not followed: the append fails.
bool AppendFileBytes(const Text& path, std::span<const std::uint8_t> bytes);
// The same, giving 0 or the errno of the step that failed (ELOOP for a link at the name).
int AppendToFile(const Text& path, std::span<const std::uint8_t> bytes);

// Opens a file into the open file table and gives its number (never 0), or 0. Modes: 1 read, 2 write, 3 read and
// write (these three need the file), 4 write and truncate, 5 write, 6 read and write (these create a missing file).
// Sharing 1 to 4 is accepted; Linux has no share modes, so it restricts nothing.
std::int32_t OpenFile(const Text& path, std::optional<std::int32_t> mode = std::nullopt,
                      std::optional<std::int32_t> sharing = std::nullopt);

// Reads up to `count` bytes (the whole file length when omitted) from the file's position as a text. The text ends
// at a zero byte, at 0x1A, or at a lead byte followed by a zero byte; the position is then left on that zero or
// 0x1A byte. Otherwise the position moves past the bytes read. A failed read moves it to the end of the file.
Text ReadTextFromFile(std::int32_t fileNumber, std::optional<std::int32_t> count = std::nullopt);
// The whole file as a text, ended as ReadTextFromFile ends it, without a file number: the file is closed again.
Text ReadTextFile(const Text& path);

// Which entries a file search passes. Attribute bits as the handlers know them; on Linux an entry is read-only
// when its owner cannot write it, hidden when its name begins with ".", a folder, or else an archive (every other
// entry); nothing is a system entry.
struct FindFilter {
    static constexpr std::uint32_t ReadOnly = 0x01, Hidden = 0x02, System = 0x04, Folder = 0x10, Archive = 0x20;
    bool filesOnly = true;
    std::uint32_t mask = 0;

    static FindFilter FilesOnly() { return {true, 0}; }
    // Passes an entry with any of these bits; a mask of 0 passes only entries without any bit.
    static FindFilter Mask(std::uint32_t bits) { return {false, bits}; }
};

// Lists the names (without the folder) matching a pattern such as folder + "\*.rar", as Windows matches them:
// "*" and "?" without regard to ASCII case, "*.*" for every name, "." and ".." included. Names come in a fixed
// order (ASCII case folded). The search handle belongs to the caller: 0 when no search is in progress, otherwise a
// search number (never 0). When the names run out the search is closed and the handle set to 0.
Text FindFileFirst(const Text& pattern, FindFilter filter, int& handle);
Text FindFileNext(int& handle);
void CloseFileFind(int& handle);

// The name matching of the file search, on GBK names: "?" is one character (a double-byte one counts once), "*"
// any run of characters; a pattern ending in ".*" also matches a name without a dot, one ending in "." only names
// without one.
bool FileNameMatches(const Text& name, const Text& pattern);

} // namespace paveno
