// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace paveno {

// Turns a path as the handlers build it (GBK, backslashes, maybe mixed with the run directory's slashes) into a
// Linux path: the whole text is converted to UTF-8 first and only then do backslashes become "/", so a GBK trail
// byte 0x5C inside a character is never taken for a separator. Gives nullopt, and the file operation fails, for:
// the empty path, a text that does not convert both ways, and a path with a ".." part (a book title such as
// "..\..\x" must not reach outside the library). A relative path resolves against the run directory (see
// RunDirectory.h), never against the process's working folder.
std::optional<std::string> NativePath(std::string_view gbkPath);

} // namespace paveno
