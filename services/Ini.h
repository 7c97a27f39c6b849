// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <optional>

namespace paveno {

// INI files in the Windows private-profile format: "[section]" lines and "key=value" lines below them. Names are
// compared with ASCII letters folded (the bytes of GBK characters exactly) and with the spaces around them trimmed;
// the first of two equal keys wins.

// The value of the key, trimmed and without one pair of matching quotes, cut to 10239 bytes; the default (trailing
// blanks removed) when the file, section or key is missing. Leading blanks and control bytes of the path, section
// and key are skipped; when any of them is empty then, the result is the empty text and the file is not read.
Text ReadIniValue(const Text& path, const Text& section, const Text& key,
                  const std::optional<Text>& defaultValue = std::nullopt);

// Sets a key ("key=value", CRLF): an existing key is replaced in place, a new one goes after the last key of its
// section, a new section at the end of the file. An omitted value deletes the key, an omitted key the section.
// The file is replaced whole (temporary file, fsync, rename), so a crash leaves either the old or the new file.
// False when the file cannot be written, and for names and values that the format could not give back as they were
// written (a line break anywhere, "=" in a key, "]" in a section name, a key beginning with ";" or with a "[" that
// is never closed): storing them would change other entries of the file.
bool WriteIniValue(const Text& path, const Text& section, const std::optional<Text>& key,
                   const std::optional<Text>& value);

// Whether WriteIniValue takes the name (surrounding blanks trimmed), so that it reads back as it was written.
bool IsStorableIniSection(const Text& name);
bool IsStorableIniKey(const Text& name);

} // namespace paveno
