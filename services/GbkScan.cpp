// SPDX-License-Identifier: MIT
#include "services/GbkScan.h"

namespace paveno::gbk {
namespace {

bool IsDigit(unsigned char b) {
    return b >= '0' && b <= '9';
}

unsigned char At(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

} // namespace

std::size_t CharWidth(std::string_view text, std::size_t at) {
    const std::size_t left = text.size() - at;
    if (left < 2 || !IsLeadByte(At(text, at))) return 1;
    if (IsTrailByte(At(text, at + 1))) return 2;
    if (left >= 4 && IsDigit(At(text, at + 1)) && IsLeadByte(At(text, at + 2)) && IsDigit(At(text, at + 3))) return 4;
    return 1;
}

std::size_t FindAnyOf(std::string_view text, std::string_view bytes, std::size_t from) {
    for (std::size_t at = from; at < text.size(); at += CharWidth(text, at)) {
        if (bytes.find(text[at]) != std::string_view::npos && CharWidth(text, at) == 1) return at;
    }
    return npos;
}

std::size_t LastCharAt(std::string_view text) {
    std::size_t last = npos;
    ForEachChar(text, [&](std::size_t at, std::size_t) { last = at; });
    return last;
}

bool EndsInSeparator(std::string_view path, std::string_view separators) {
    const std::size_t last = LastCharAt(path);
    return last != npos && last == path.size() - 1 && separators.find(path[last]) != std::string_view::npos;
}

} // namespace paveno::gbk
