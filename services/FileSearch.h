// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>

namespace paveno {

// Finding files by name, as the handlers search the library: a folder's entries listed in a fixed order and matched
// against a pattern with "*" and "?". Paths are GBK texts with backslashes (see NativePath); a path that cannot be
// turned into a Linux path finds nothing.

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

// Size of the first entry matching the path ("*" and "?" allowed in the last part), in the search's order: the low
// 32 bits of its size, 0 for a folder, -1 when nothing matches.
std::int32_t GetFileSize(const Text& path);

} // namespace paveno
