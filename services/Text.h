// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace paveno {

// A text is GBK bytes that never hold a zero byte; lengths and positions count bytes, 1-based, -1 for "not found".
// The empty string stands for both the empty and the absent text.
using Text = std::string;

// A byte set is counted bytes, zero bytes allowed: page bodies, downloaded files, pictures.
using ByteSet = std::vector<std::uint8_t>;

inline ByteSet BytesOf(std::string_view s) {
    return ByteSet(s.begin(), s.end());
}
inline std::string_view ViewOf(const ByteSet& b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

} // namespace paveno
