// SPDX-License-Identifier: MIT
#include "forms/format/Dump.h"

#include "forms/format/PropertyBlock.h"
#include "forms/format/WindowData.h"

#include <cstdio>

namespace paveno::format {

namespace {

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", bytes[i]);
        out += buf;
    }
    if (bytes.size() > 8) out += "..";
    return out;
}

} // namespace

std::string DumpWindowData(std::span<const std::uint8_t> block) {
    std::string out;
    std::uint32_t lastKind = 0;
    int depth = 0;
    FieldTrace trace = [&](std::size_t offset, std::size_t length, std::string_view label, const std::string& value) {
        if (offset > block.size() || length > block.size() - offset) return;
        auto bytes = block.subspan(offset, length);
        char head[16];
        std::snprintf(head, sizeof head, "%06zX  ", offset);
        std::string line = head + HexBytes(bytes);
        line.resize(std::max<std::size_t>(line.size(), 35), ' ');
        line += std::string(depth * 2, ' ') + std::string(label);
        if (!value.empty()) line += " = " + value;
        out += line + "\n";
        if (label == "kind id" && length == 4) {
            lastKind = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
                       std::uint32_t(bytes[3]) << 24;
        }
        if (label == "property block" && length > 0) {
            if (const KindLayout* layout = FindKindLayout(lastKind)) {
                ++depth;
                BlockResult r = ReadPropertyBlock(*layout, bytes, offset, &trace);
                --depth;
                if (!r.block) out += "        ! " + r.error + "\n";
            }
        }
    };
    ReadResult r = ReadWindowData(block, &trace);
    if (!r.data) out += "! load error at " + r.error.ToString() + "\n";
    return out;
}

} // namespace paveno::format
