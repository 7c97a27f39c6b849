// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

namespace paveno {

// Reading and writing files: whole, appended to, or through a file number. Paths are GBK texts with backslashes as
// the handlers build them (see NativePath; a relative one is in the run directory); a path that cannot be turned
// into a Linux path fails the operation. Nothing here shows a message or throws: failure shows only in the result
// (false, 0, the errno, the empty text or byte set).

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

// Writes every byte to an open file, going on after a write cut short or interrupted by a signal. False with errno
// set when a write fails (ENOSPC when the file takes no more bytes).
bool WriteAll(int fd, std::string_view bytes);

// Reads from an open file into `into` until it is full, the file ends or a read fails, going on after a read cut
// short or interrupted by a signal: the number of bytes read.
std::size_t ReadUpTo(int fd, std::span<std::uint8_t> into);

} // namespace paveno
