// SPDX-License-Identifier: MIT
// Internal to the picture decoders: the per-format decoders and the little-endian and bitmap helpers they share.
#pragma once

#include "forms/pictures/DecodedPicture.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace paveno::pictures {

using Bytes = std::span<const std::uint8_t>;

// Each returns false (and leaves out as it was) when the bytes do not make a picture.
// With a shown size (both > 0), only the top-left shownWidth x shownHeight of the picture is decoded and kept: the
// rows below are never decoded and the columns to the right are cropped by libjpeg-turbo.
bool DecodeJpeg(Bytes data, DecodedPicture& out, int shownWidth = 0, int shownHeight = 0);
bool DecodeBmp(Bytes data, DecodedPicture& out);
bool DecodeIcon(Bytes data, PictureFormat format, DecodedPicture& out);
bool DecodeGif(Bytes data, DecodedPicture& out);
bool DecodePcx(Bytes data, PictureFormat format, DecodedPicture& out);

inline std::uint16_t U16(Bytes d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}
inline std::uint32_t U32(Bytes d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
           static_cast<std::uint32_t>(d[at + 2]) << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}
inline std::int32_t I32(Bytes d, std::size_t at) {
    return static_cast<std::int32_t>(U32(d, at));
}

// Whether bytes [at, at + count) lie inside d, without overflow.
inline bool Fits(Bytes d, std::size_t at, std::size_t count) {
    return at <= d.size() && count <= d.size() - at;
}

// Positive dimensions whose pixel buffer, height rows of rowBytes, and whose 32-bit drawable image both stay within
// the pixel budget: kMaxPixelBytes, unless a PixelBudget on this thread lowers it.
bool SizeAllowed(std::int64_t width, std::int64_t height, std::int64_t rowBytes);

// Lowers the pixel budget of the decoders on this thread for its lifetime.
class PixelBudget {
public:
    explicit PixelBudget(std::size_t bytes);
    ~PixelBudget();
    PixelBudget(const PixelBudget&) = delete;
    PixelBudget& operator=(const PixelBudget&) = delete;
    static std::size_t Current();

private:
    std::size_t saved_;
};

inline std::size_t RoundUp4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

// Lays out an 8-bit palette bitmap (info header, palette, bottom-up rows of stride bytes) of the given size in out.
// The palette holds 0xRRGGBB colours; the rows start zeroed. Fails when the size is not allowed.
bool StartPaletteBitmap(int width, int height, const std::array<std::uint32_t, 256>& palette, PictureFormat format,
                        DecodedPicture& out);
// The 8-bit row y (counted from the top) of a palette bitmap laid out by StartPaletteBitmap.
std::uint8_t* PaletteBitmapRow(DecodedPicture& picture, int yFromTop);

// A device-independent bitmap as bitmap files and icons store it: its info header, palette and pixel layout.
struct DibLayout {
    int width = 0;
    int height = 0; // always positive; topDown tells the row order
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::array<std::uint32_t, 4> masks{};     // red, green, blue, alpha (16 and 32 bits per pixel)
    std::array<std::uint32_t, 256> palette{}; // 0xRRGGBB; entries past the stored ones are black
    std::size_t stride = 0;                   // bytes per uncompressed row, padded to 4
};

inline constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

// Reads an info header (core, 40-byte or later versions) at headerAt, its masks and its palette. On success paletteEnd
// is the offset just after the palette. heightDivisor halves the stored height for icons (colour and mask bitmaps).
// A palette is cut short where rowsAt says the rows begin (writers of the core header store fewer entries than its
// depth allows); rowsAt of 0 means the rows follow the palette.
bool ReadDibLayout(Bytes data, std::size_t headerAt, int heightDivisor, std::size_t rowsAt, DibLayout& dib,
                   std::size_t& paletteEnd);

// Converts one uncompressed row of the bitmap to 0xAARRGGBB pixels (alpha 0xFF unless the format carries alpha).
void ReadDibRow(const DibLayout& dib, const std::uint8_t* row, std::uint32_t* argb);

} // namespace paveno::pictures
