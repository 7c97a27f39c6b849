// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <optional>
#include <string>
#include <string_view>

namespace paveno {

// The GBK boundary. Inside the program every text is GBK; only file names, Qt and the terminal see UTF-8.
// Decoding is GB18030, a superset of GBK, so any Unicode name that reaches us survives the round trip.

// Opens this thread's converters now rather than at their first use: they load a module of the system's.
void OpenGbkConverters();

// Exact conversions: nullopt when a byte sequence has no meaning in the other encoding (a lone lead byte, bad UTF-8).
std::optional<std::string> GbkToUtf8(std::string_view gbk);
std::optional<Text> Utf8ToGbk(std::string_view utf8);

// A literal of the program's own source (UTF-8) as GBK. Every such literal has a GBK form; one that has none is a
// programming error and ends the process.
Text Gbk(std::string_view utf8Literal);

// For display only: every undecodable byte becomes U+FFFD / '?', so a caption always shows something.
std::string GbkToUtf8Lossy(std::string_view gbk);
Text Utf8ToGbkLossy(std::string_view utf8);

} // namespace paveno
