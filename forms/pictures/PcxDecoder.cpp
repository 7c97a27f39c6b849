// SPDX-License-Identifier: MIT
// PCX files of one plane: 8 bits per pixel with the palette at the file's end, or 1 bit per pixel (black and white).
#include "forms/pictures/PictureCodecs.h"

#include <vector>

namespace paveno::pictures {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPaletteSize = 769; // the mark 0x0C and 256 red, green, blue entries

// Run-length data starting at the end of the header: a byte with its two top bits set repeats the next byte
// (its low six bits) times; any other byte stands for itself. Runs may cross scan lines.
bool DecodeRuns(Bytes data, std::size_t end, std::vector<std::uint8_t>& out) {
    std::size_t at = kHeaderSize, filled = 0;
    while (filled < out.size()) {
        if (at >= end) return false;
        std::uint8_t b = data[at++];
        std::size_t count = 1;
        if ((b & 0xC0) == 0xC0) {
            count = b & 0x3F;
            if (at >= end) return false;
            b = data[at++];
        }
        if (count > out.size() - filled) count = out.size() - filled;
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(filled), count, b);
        filled += count;
    }
    return true;
}

// Each two bytes of runs give at most 63 bytes, so this bounds what a file of this size can hold; a file that cannot
// hold its declared lines is refused before their memory is taken.
bool RunsCanFill(std::size_t runsEnd, std::size_t lineBytes) {
    return runsEnd > kHeaderSize && lineBytes / 32 <= runsEnd - kHeaderSize;
}

} // namespace

bool DecodePcx(Bytes data, PictureFormat format, DecodedPicture& out) {
    if (data.size() <= kHeaderSize) return false;
    const std::uint8_t version = data[1], encoding = data[2], bitsPerPixel = data[3], planes = data[65];
    if (data[0] != 0x0A || encoding != 1 || version > 5) return false;
    const int left = U16(data, 4), top = U16(data, 6), right = U16(data, 8), bottom = U16(data, 10);
    if (right < left || bottom < top) return false;
    const int width = right - left + 1, height = bottom - top + 1;
    const std::size_t bytesPerLine = U16(data, 66);
    if (planes != 1 || bytesPerLine * 8 < static_cast<std::size_t>(width) * bitsPerPixel) return false;

    if (format == PictureFormat::Pcx1) {
        if (bitsPerPixel != 1) return false;
        const std::size_t stride = ((static_cast<std::size_t>(width) + 15) / 16) * 2;
        if (!SizeAllowed(width, height, static_cast<std::int64_t>(stride)) ||
            !SizeAllowed(width, height, static_cast<std::int64_t>(bytesPerLine)))
            return false;
        if (!RunsCanFill(data.size(), bytesPerLine * static_cast<std::size_t>(height))) return false;
        std::vector<std::uint8_t> lines(bytesPerLine * static_cast<std::size_t>(height));
        if (!DecodeRuns(data, data.size(), lines)) return false;
        DecodedPicture result;
        result.pixels.assign(stride * static_cast<std::size_t>(height), 0);
        const std::size_t used = (static_cast<std::size_t>(width) + 7) / 8;
        for (int y = 0; y < height; ++y)
            std::copy_n(lines.begin() + static_cast<std::ptrdiff_t>(y * bytesPerLine), used,
                        result.pixels.begin() + static_cast<std::ptrdiff_t>(y * stride));
        result.format = PictureFormat::Pcx1;
        result.width = width;
        result.height = height;
        result.stride = stride;
        out = std::move(result);
        return true;
    }

    if (bitsPerPixel != 8) return false;
    std::array<std::uint32_t, 256> palette{};
    std::size_t runsEnd = data.size();
    if (data.size() >= kHeaderSize + kPaletteSize && data[data.size() - kPaletteSize] == 0x0C) {
        runsEnd = data.size() - kPaletteSize;
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint8_t* p = data.data() + runsEnd + 1 + 3 * i;
            palette[i] = static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
        }
    } else {
        for (std::uint32_t i = 0; i < 256; ++i)
            palette[i] = i << 16 | i << 8 | i; // no palette: shades of grey
    }
    if (!SizeAllowed(width, height, static_cast<std::int64_t>(bytesPerLine)) ||
        !RunsCanFill(runsEnd, bytesPerLine * static_cast<std::size_t>(height)))
        return false;
    std::vector<std::uint8_t> lines(bytesPerLine * static_cast<std::size_t>(height));
    if (!DecodeRuns(data, runsEnd, lines)) return false;
    DecodedPicture result;
    if (!StartPaletteBitmap(width, height, palette, PictureFormat::Pcx8, result)) return false;
    for (int y = 0; y < height; ++y)
        std::copy_n(lines.begin() + static_cast<std::ptrdiff_t>(y * bytesPerLine), width, PaletteBitmapRow(result, y));
    out = std::move(result);
    return true;
}

} // namespace paveno::pictures
