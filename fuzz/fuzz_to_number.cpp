// SPDX-License-Identifier: MIT
// Any text through the number reader, the number writer and the searches: no crash, no read past the text.
#include "services/TextOps.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    paveno::Text text(reinterpret_cast<const char*>(data), ::strnlen(reinterpret_cast<const char*>(data), size));
    const double number = paveno::ToNumber(text);
    const paveno::Text back = paveno::ToText(number);
    paveno::ToNumber(back);
    paveno::RoundNumber(number, static_cast<int>(size % 7) - 3);
    paveno::TruncateToInteger(number);

    const size_t cut = text.empty() ? 0 : data[0] % (text.size() + 1);
    const paveno::Text sought = text.substr(0, cut % 8);
    paveno::FindText(text, sought, static_cast<int>(cut) - 2, size & 1);
    paveno::FindTextReverse(text, sought, static_cast<int>(cut) - 2, size & 2);
    return 0;
}
