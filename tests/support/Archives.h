// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace paveno::test {

// Real archives of a few stored files, for the checks that read an archive through: ZIP and 7z written by
// libarchive, RAR 4 laid out by hand (libarchive writes no RAR).
using ArchiveFiles = std::vector<std::pair<std::string, std::string>>; // name, content
std::string MakeZip(const ArchiveFiles& files);
std::string MakeSevenZip(const ArchiveFiles& files);
std::string MakeRar4(const ArchiveFiles& files);

// Bytes of every value in a pattern that does not repeat soon: what a file packed in an archive looks like.
std::string PackedContent(std::size_t size);

} // namespace paveno::test
