// SPDX-License-Identifier: MIT
// Bitmap files of every depth, delivered as 24-bit blue-green-red rows, bottom-up, unpadded.
#include "forms/pictures/PictureCodecs.h"

#include <vector>

namespace paveno::pictures {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kMinimumFileSize = 54; // file header and a 40-byte info header

void PutBgr(std::uint8_t* dst, std::uint32_t argb) {
    dst[0] = static_cast<std::uint8_t>(argb);
    dst[1] = static_cast<std::uint8_t>(argb >> 8);
    dst[2] = static_cast<std::uint8_t>(argb >> 16);
}

// Run-length data of 8 or 4 bits per pixel into one palette index per pixel, rows bottom-up. Pixels that the runs
// skip keep index 0. The data must end with its end-of-bitmap mark; running out before it is a truncated file.
bool DecodeRunLength(const DibLayout& dib, Bytes runs, std::vector<std::uint8_t>& indexes) {
    const std::size_t w = static_cast<std::size_t>(dib.width), h = static_cast<std::size_t>(dib.height);
    const bool four = dib.compression == kBiRle4;
    std::size_t x = 0, y = 0, at = 0;
    auto put = [&](std::uint8_t index) {
        if (x < w && y < h) indexes[y * w + x] = index;
        ++x;
    };
    while (at + 1 < runs.size()) {
        const std::uint8_t count = runs[at], value = runs[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return true;
        case 2: // move right and up
            if (at + 1 >= runs.size()) return false;
            x += runs[at];
            y += runs[at + 1];
            at += 2;
            break;
        default: { // a literal run of value pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (!Fits(runs, at, bytes)) return false;
            for (int i = 0; i < value; ++i) {
                const std::uint8_t b = runs[at + (four ? i / 2 : i)];
                put(four ? (i % 2 == 0 ? b >> 4 : b & 0x0F) : b);
            }
            at += (bytes + 1) & ~std::size_t{1};
            break;
        }
        }
        if (y >= h) return true; // every row is written; trailing bytes do not matter
    }
    return false;
}

} // namespace

bool DecodeBmp(Bytes data, DecodedPicture& out) {
    if (data.size() < kMinimumFileSize) return false;
    DibLayout dib;
    std::size_t paletteEnd = 0;
    const std::size_t bitsAt = U32(data, 10);
    if (bitsAt >= data.size()) return false;
    // The file's own offset to the rows decides where they are, whatever lies between.
    if (!ReadDibLayout(data, kFileHeaderSize, 1, bitsAt, dib, paletteEnd)) return false;
    const Bytes bits = data.subspan(bitsAt);

    const std::size_t w = static_cast<std::size_t>(dib.width), h = static_cast<std::size_t>(dib.height);
    const std::size_t stride = w * 3;
    const bool rle = dib.compression == kBiRle8 || dib.compression == kBiRle4;
    // A file that cannot hold its rows is refused before the picture's memory is taken.
    if (!rle && !Fits(bits, 0, dib.stride * (h - 1) + (w * dib.bitCount + 7) / 8)) return false;

    DecodedPicture result;
    result.pixels.assign(stride * h, 0);
    if (rle) {
        std::vector<std::uint8_t> indexes(w * h, 0);
        if (!DecodeRunLength(dib, bits, indexes)) return false;
        for (std::size_t i = 0; i < w * h; ++i)
            PutBgr(result.pixels.data() + 3 * i, dib.palette[indexes[i]]);
    } else {
        std::vector<std::uint32_t> row(w);
        for (std::size_t y = 0; y < h; ++y) {
            ReadDibRow(dib, bits.data() + y * dib.stride, row.data());
            const std::size_t target = dib.topDown ? h - 1 - y : y;
            std::uint8_t* dst = result.pixels.data() + target * stride;
            for (std::size_t x = 0; x < w; ++x)
                PutBgr(dst + 3 * x, row[x]);
        }
    }
    result.format = PictureFormat::Bmp;
    result.width = dib.width;
    result.height = dib.height;
    result.stride = stride;
    out = std::move(result);
    return true;
}

} // namespace paveno::pictures
