// SPDX-License-Identifier: MIT
// The device-independent bitmap as bitmap files and icons store it: header versions, palettes, bit fields and rows.
#include "forms/pictures/PictureCodecs.h"

#include <bit>

namespace paveno::pictures {

namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

// One colour channel taken out of a pixel by its mask and scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        bits = std::popcount(m >> shift); // a mask with holes counts its set bits; its value is still bounded
        if (bits > 8) {
            shift += bits - 8; // keep the top eight bits
            bits = 8;
        }
    }
    std::uint32_t Take(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        std::uint32_t v = ((pixel & mask) >> shift) & ((1u << bits) - 1);
        // Spread the value over 8 bits so that the channel's maximum becomes 255.
        std::uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += bits)
            out = (out << bits) | v;
        return (out >> (((8 + bits - 1) / bits) * bits - 8)) & 0xFF;
    }
};

} // namespace

bool ReadDibLayout(Bytes data, std::size_t headerAt, int heightDivisor, std::size_t rowsAt, DibLayout& dib,
                   std::size_t& paletteEnd) {
    if (!Fits(data, headerAt, 4)) return false;
    const std::uint32_t headerSize = U32(data, headerAt);
    std::int64_t width = 0, height = 0;
    std::uint32_t colorsUsed = 0;
    std::size_t paletteEntrySize = 4;
    if (headerSize == kCoreHeaderSize) {
        if (!Fits(data, headerAt, kCoreHeaderSize)) return false;
        width = U16(data, headerAt + 4);
        height = U16(data, headerAt + 6);
        dib.bitCount = U16(data, headerAt + 10);
        dib.compression = kBiRgb;
        paletteEntrySize = 3;
    } else if (headerSize >= kInfoHeaderSize && headerSize <= 1024) {
        if (!Fits(data, headerAt, headerSize)) return false;
        width = I32(data, headerAt + 4);
        height = I32(data, headerAt + 8);
        dib.bitCount = U16(data, headerAt + 14);
        dib.compression = U32(data, headerAt + 16);
        colorsUsed = U32(data, headerAt + 32);
    } else {
        return false;
    }
    std::size_t at = headerAt + headerSize;

    dib.topDown = height < 0;
    if (dib.topDown) height = -height;
    if (height % heightDivisor != 0) return false;
    height /= heightDivisor;

    if (dib.bitCount != 1 && dib.bitCount != 4 && dib.bitCount != 8 && dib.bitCount != 16 && dib.bitCount != 24 &&
        dib.bitCount != 32)
        return false;
    const bool rle = dib.compression == kBiRle8 || dib.compression == kBiRle4;
    if (dib.compression == kBiRle8 && dib.bitCount != 8) return false;
    if (dib.compression == kBiRle4 && dib.bitCount != 4) return false;
    if (rle && dib.topDown) return false; // run-length bitmaps are always stored bottom-up
    const bool bitfields = dib.compression == kBiBitfields || dib.compression == kBiAlphaBitfields;
    if (bitfields && dib.bitCount != 16 && dib.bitCount != 32) return false;
    if (!rle && !bitfields && dib.compression != kBiRgb) return false;

    const std::int64_t stride = ((width * dib.bitCount + 31) / 32) * 4;
    if (!SizeAllowed(width, height, width * 3) || !SizeAllowed(width, height, stride)) return false;
    dib.width = static_cast<int>(width);
    dib.height = static_cast<int>(height);
    dib.stride = static_cast<std::size_t>(stride);

    if (bitfields) {
        // Version 2 and later headers carry the masks; a 40-byte header is followed by them.
        const std::size_t count = dib.compression == kBiAlphaBitfields ? 4 : 3;
        std::size_t masksAt = headerAt + 40;
        if (headerSize == kInfoHeaderSize) {
            if (!Fits(data, at, count * 4)) return false;
            at += count * 4;
        } else if (headerSize < 40 + count * 4) {
            return false;
        }
        dib.masks = {};
        for (std::size_t i = 0; i < count; ++i)
            dib.masks[i] = U32(data, masksAt + 4 * i);
        if (headerSize >= 56) dib.masks[3] = U32(data, masksAt + 12);
    } else if (dib.bitCount == 16) {
        dib.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (dib.bitCount == 32) {
        dib.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    }

    dib.palette.fill(0);
    if (dib.bitCount <= 8) {
        const std::uint32_t full = 1u << dib.bitCount;
        std::size_t entries = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
        if (rowsAt > at && (rowsAt - at) / paletteEntrySize < entries) entries = (rowsAt - at) / paletteEntrySize;
        if (!Fits(data, at, entries * paletteEntrySize)) return false;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* p = data.data() + at + i * paletteEntrySize;
            dib.palette[i] = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
        at += entries * paletteEntrySize;
    }
    paletteEnd = at;
    return true;
}

void ReadDibRow(const DibLayout& dib, const std::uint8_t* row, std::uint32_t* argb) {
    const int w = dib.width;
    switch (dib.bitCount) {
    case 1:
    case 4:
    case 8: {
        const int bits = dib.bitCount, perByte = 8 / bits, mask = (1 << bits) - 1;
        for (int x = 0; x < w; ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            argb[x] = 0xFF000000u | dib.palette[(row[x / perByte] >> shift) & mask];
        }
        break;
    }
    case 24:
        for (int x = 0; x < w; ++x, row += 3)
            argb[x] = 0xFF000000u | static_cast<std::uint32_t>(row[2]) << 16 | static_cast<std::uint32_t>(row[1]) << 8 |
                      row[0];
        break;
    case 16:
    case 32: {
        const Channel r(dib.masks[0]), g(dib.masks[1]), b(dib.masks[2]), a(dib.masks[3]);
        const int bytes = dib.bitCount / 8;
        for (int x = 0; x < w; ++x, row += bytes) {
            std::uint32_t v = row[0] | static_cast<std::uint32_t>(row[1]) << 8;
            if (bytes == 4) v |= static_cast<std::uint32_t>(row[2]) << 16 | static_cast<std::uint32_t>(row[3]) << 24;
            const std::uint32_t alpha = a.mask != 0 ? a.Take(v) : 0xFF;
            argb[x] = alpha << 24 | r.Take(v) << 16 | g.Take(v) << 8 | b.Take(v);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace paveno::pictures
