// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>

namespace paveno::gbk {

// Every byte-level scan of a text that may hold GBK steps through it here, character by character. A double-byte
// character is a lead byte (0x81 to 0xFE) and a trail byte (0x40 to 0xFE, not 0x7F); a trail byte may look like
// "@", "[", "\", "]", "|" or "~" and is never one of them. A GB18030 four-byte character (lead, digit, lead, digit)
// counts as one character too: names read from the file system may hold them.

constexpr std::size_t npos = std::string_view::npos;

constexpr bool IsLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
constexpr bool IsTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// The bytes of the character that starts at `at`: 4, 2, or 1 (a lead byte without a trail byte stands alone).
std::size_t CharWidth(std::string_view text, std::size_t at);

template <typename OnChar> void ForEachChar(std::string_view text, OnChar onChar) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t width = CharWidth(text, at);
        onChar(at, width);
        at += width;
    }
}

// The first of `bytes` that stands as a character of its own, from the character start `from` on; npos when none.
std::size_t FindAnyOf(std::string_view text, std::string_view bytes, std::size_t from = 0);
inline std::size_t FindByte(std::string_view text, char byte, std::size_t from = 0) {
    return FindAnyOf(text, std::string_view(&byte, 1), from);
}

// Where the last character starts; npos for an empty text.
std::size_t LastCharAt(std::string_view text);

// Whether the last character is one of the separators (not the trail byte of a character that ends the path).
bool EndsInSeparator(std::string_view path, std::string_view separators);

} // namespace paveno::gbk
