// SPDX-License-Identifier: MIT
#pragma once

#include "services/Http.h"
#include "services/Text.h"

#include <cstdint>
#include <optional>
#include <span>

namespace paveno {

// Whether a downloaded body is an archive that may be kept.

enum class ArchiveFormat { Unknown, Rar4, Rar5, Zip, SevenZip };

// The format the body's first bytes announce.
ArchiveFormat RecogniseArchive(std::span<const std::uint8_t> body);

// A web page, not an archive: after optional white space or a UTF-8 byte-order mark, "<". A server that answers
// 200 with a maintenance page or a soft 404 sends one.
bool LooksLikeWebPage(std::span<const std::uint8_t> body);

// Reads the archive through to its end with libarchive, every entry's header and data. False when it does not read
// through (cut short, damaged). An entry that libarchive cannot unpack (encrypted, an unknown method) is skipped by
// its stored size, so that it does not count against a whole archive. nullopt when libarchive cannot be loaded.
std::optional<bool> ArchiveReadsThrough(std::span<const std::uint8_t> body);

// Why a downloaded archive must not be kept (GBK: 服务器返回网页, 数据不完整, 无法载入解压库 when it must be read
// through and cannot be), or the empty text when it may.
// `lengthUnknown`: the server announced no length, so nothing but the archive itself can tell that it came whole;
// only then, and only for a known format, is it read through.
Text ArchiveProblem(std::span<const std::uint8_t> body, bool lengthUnknown);

// A good download with an ArchiveProblem becomes a failed one with that reason, its body and its kept file dropped. A
// body streamed into its file (Request::streamed) is read back from there when it must be read through.
void RefuseUnusableArchive(Fetched& fetched);

} // namespace paveno
