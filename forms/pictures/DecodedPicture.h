// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paveno {

// What a picture file's bytes turned out to be. The numbers are the ones the window data and the handlers use.
enum class PictureFormat : int {
    None = 0,
    Jpeg = 1,
    Bmp = 2,
    Icon = 3,
    Cursor = 4,
    Gif = 5,
    Pcx8 = 6,
    Pcx1 = 7,
};

// Bytes of the bitmap info header and of the 256-entry palette that lead the pixel data of a palette picture.
inline constexpr std::size_t kBitmapInfoHeaderSize = 40;
inline constexpr std::size_t kPaletteEntries = 256;
inline constexpr std::size_t kPaletteBitmapPrefixSize = kBitmapInfoHeaderSize + kPaletteEntries * 4;

// No decoder allocates a pixel buffer larger than this, nor decodes a picture whose drawable image (4 bytes a pixel)
// would be larger; such a picture is no picture.
inline constexpr std::size_t kMaxPixelBytes = std::size_t{256} << 20;

// A picture decoded once for display; a plain value, owned by the control that shows it.
//
// pixels, by format:
// - Jpeg, Bmp: 24-bit pixels in blue, green, red order, rows bottom-up, rows not padded (stride = width * 3).
// - Gif, Pcx8: a 40-byte bitmap info header (positive height: bottom-up, 8 bits per pixel), 256 palette entries of
//   blue, green, red, 0, then the 8-bit rows bottom-up, each padded to a multiple of 4 bytes (stride).
// - Pcx1: 1-bit rows top-down, the leftmost pixel in the highest bit, 1 = white, each row padded to an even number
//   of bytes (stride).
// - Icon, Cursor: pixels is empty; images holds the icon's images (ARGB32, premultiplied), the largest first.
struct DecodedPicture {
    PictureFormat format = PictureFormat::None;
    int width = 0;
    int height = 0;
    std::size_t stride = 0; // bytes per row of pixel data (palette prefix excluded)
    ByteSet pixels;
    std::vector<QImage> images;

    bool IsPicture() const { return format != PictureFormat::None; }
    bool IsIcon() const { return format == PictureFormat::Icon || format == PictureFormat::Cursor; }

    // The start of the rows inside pixels (after the header and palette of a palette picture).
    std::size_t RowsOffset() const {
        return format == PictureFormat::Gif || format == PictureFormat::Pcx8 ? kPaletteBitmapPrefixSize : 0;
    }
};

} // namespace paveno
