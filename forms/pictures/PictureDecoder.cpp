// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureDecoder.h"

#include "forms/pictures/PictureCodecs.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace paveno {

namespace pictures {

namespace {
// Initial-exec: the decoders are linked into the program itself, and this keeps the program from needing the dynamic
// loader's TLS lookup (and the loader as a library of its own).
[[gnu::tls_model("initial-exec")]] thread_local std::size_t budget = kMaxPixelBytes;
} // namespace

PixelBudget::PixelBudget(std::size_t bytes) : saved_(budget) {
    budget = std::min(budget, bytes);
}

PixelBudget::~PixelBudget() {
    budget = saved_;
}

std::size_t PixelBudget::Current() {
    return budget;
}

bool SizeAllowed(std::int64_t width, std::int64_t height, std::int64_t rowBytes) {
    if (width <= 0 || height <= 0 || rowBytes <= 0) return false;
    if (width > 0x7fffffff || height > 0x7fffffff) return false;
    // The Qt image made for drawing takes 4 bytes a pixel; it stays within the limit too.
    const auto limit = static_cast<std::int64_t>(budget);
    const std::int64_t widest = std::max(rowBytes, width * 4);
    return widest <= limit && height <= limit / widest;
}

bool StartPaletteBitmap(int width, int height, const std::array<std::uint32_t, 256>& palette, PictureFormat format,
                        DecodedPicture& out) {
    const std::size_t stride = RoundUp4(static_cast<std::size_t>(width));
    if (!SizeAllowed(width, height, static_cast<std::int64_t>(stride))) return false;
    const std::size_t rows = stride * static_cast<std::size_t>(height);
    out.pixels.assign(kPaletteBitmapPrefixSize + rows, 0);
    std::uint8_t* h = out.pixels.data();
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, kBitmapInfoHeaderSize);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height)); // positive: rows bottom-up
    h[12] = 1;                                    // planes
    h[14] = 8;                                    // bits per pixel
    put32(16, kBiRgb);
    put32(20, static_cast<std::uint32_t>(rows));
    put32(32, kPaletteEntries);
    for (std::size_t i = 0; i < kPaletteEntries; ++i) {
        std::uint8_t* q = h + kBitmapInfoHeaderSize + 4 * i;
        q[0] = static_cast<std::uint8_t>(palette[i]);
        q[1] = static_cast<std::uint8_t>(palette[i] >> 8);
        q[2] = static_cast<std::uint8_t>(palette[i] >> 16);
    }
    out.format = format;
    out.width = width;
    out.height = height;
    out.stride = stride;
    return true;
}

std::uint8_t* PaletteBitmapRow(DecodedPicture& picture, int yFromTop) {
    const auto row = static_cast<std::size_t>(picture.height - 1 - yFromTop);
    return picture.pixels.data() + kPaletteBitmapPrefixSize + row * picture.stride;
}

} // namespace pictures

PictureFormat RecognisePictureFormat(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 6) return PictureFormat::None;
    const pictures::Bytes d(data, size);
    const std::uint16_t w0 = pictures::U16(d, 0), w1 = pictures::U16(d, 2), w2 = pictures::U16(d, 4);
    if (d[0] == 'B' && d[1] == 'M') return PictureFormat::Bmp;
    if (d[0] == 0xFF && d[1] == 0xD8) return PictureFormat::Jpeg;
    if (w0 == 0 && w1 == 1 && w2 > 0) return PictureFormat::Icon;
    if (w0 == 0 && w1 == 2 && w2 > 0) return PictureFormat::Cursor;
    if (std::memcmp(data, "GIF8", 4) == 0 && (d[4] == '7' || d[4] == '9') && d[5] == 'a') return PictureFormat::Gif;
    if (d[0] == 0x0A && d[1] <= 5 && d[2] == 0x01 && d[3] == 0x08) return PictureFormat::Pcx8;
    if (d[0] == 0x0A && d[1] == 0x03 && d[2] == 0x01 && d[3] == 0x01) return PictureFormat::Pcx1;
    return PictureFormat::None;
}

namespace {

DecodedPicture Decode(const std::uint8_t* data, std::size_t size, int shownWidth, int shownHeight) {
    DecodedPicture picture;
    const PictureFormat format = RecognisePictureFormat(data, size);
    const pictures::Bytes bytes(data, data == nullptr ? 0 : size);
    bool ok = false;
    try {
        switch (format) {
        case PictureFormat::Jpeg:
            ok = pictures::DecodeJpeg(bytes, picture, shownWidth, shownHeight);
            break;
        case PictureFormat::Bmp:
            ok = pictures::DecodeBmp(bytes, picture);
            break;
        case PictureFormat::Icon:
        case PictureFormat::Cursor:
            ok = pictures::DecodeIcon(bytes, format, picture);
            break;
        case PictureFormat::Gif:
            ok = pictures::DecodeGif(bytes, picture);
            break;
        case PictureFormat::Pcx8:
        case PictureFormat::Pcx1:
            ok = pictures::DecodePcx(bytes, format, picture);
            break;
        case PictureFormat::None:
            break;
        }
    } catch (const std::bad_alloc&) {
        ok = false; // a failed allocation is no picture, like any other failure
    }
    if (!ok) return {};
    return picture;
}

} // namespace

DecodedPicture DecodePicture(const std::uint8_t* data, std::size_t size) {
    return Decode(data, size, 0, 0);
}

DecodedPicture DecodePicture(const ByteSet& bytes) {
    return DecodePicture(bytes.data(), bytes.size());
}

DecodedPicture DecodePictureShown(const ByteSet& bytes, int shownWidth, int shownHeight) {
    if (shownWidth <= 0 || shownHeight <= 0) return {};
    const pictures::PixelBudget budget(kMaxShownPictureBytes);
    return Decode(bytes.data(), bytes.size(), shownWidth, shownHeight);
}

} // namespace paveno
