// SPDX-License-Identifier: MIT
// Icons and cursors: a directory of images, each a device-independent bitmap with its AND mask or a PNG stream.
// Every image that decodes is kept, the largest first, so the control can draw whichever size suits it.
#include "forms/pictures/PictureCodecs.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace paveno::pictures {

namespace {

constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
// Enough for every size an icon file carries in practice; more entries are only more work for the same picture.
constexpr std::size_t kMaxImages = 16;

struct Entry {
    std::size_t offset = 0;
    std::size_t size = 0;
    int area = 0; // from the directory, for the order in which the images are kept
    int bitCount = 0;
};

QImage DecodeIconBitmap(Bytes data) {
    DibLayout dib;
    std::size_t paletteEnd = 0;
    if (!ReadDibLayout(data, 0, 2, 0, dib, paletteEnd)) return {};
    if (dib.compression != kBiRgb && dib.compression != kBiBitfields) return {};
    if (!SizeAllowed(dib.width, dib.height, std::int64_t{dib.width} * 4)) return {};
    const std::size_t w = static_cast<std::size_t>(dib.width), h = static_cast<std::size_t>(dib.height);
    const std::size_t maskStride = ((w + 31) / 32) * 4;
    const bool hasAlpha = dib.bitCount == 32;
    if (hasAlpha && dib.compression == kBiRgb) dib.masks[3] = 0xFF000000;
    const std::size_t colourBytes = dib.stride * h;
    if (!Fits(data, paletteEnd, colourBytes)) return {};
    // A 32-bit image carries its own transparency and may come without the mask.
    const bool hasMask = Fits(data, paletteEnd + colourBytes, maskStride * h);
    if (!hasMask && !hasAlpha) return {};

    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    if (image.isNull()) return {};
    bool anyAlpha = false;
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t stored = dib.topDown ? y : h - 1 - y;
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(static_cast<int>(y)));
        ReadDibRow(dib, data.data() + paletteEnd + stored * dib.stride, line);
        for (std::size_t x = 0; x < w && hasAlpha && !anyAlpha; ++x)
            anyAlpha = (line[x] >> 24) != 0;
    }
    // Without alpha values of its own, the AND mask says which pixels are transparent.
    const bool useMask = hasMask && !anyAlpha;
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t stored = dib.topDown ? y : h - 1 - y;
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(static_cast<int>(y)));
        const std::uint8_t* mask = data.data() + paletteEnd + colourBytes + stored * maskStride;
        for (std::size_t x = 0; x < w; ++x) {
            if (useMask)
                line[x] = (mask[x / 8] >> (7 - x % 8) & 1) != 0 ? 0 : (line[x] | 0xFF000000u);
            else if (!anyAlpha)
                line[x] |= 0xFF000000u;
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage DecodeIconImage(Bytes data) {
    static constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() >= sizeof kPngSignature && std::memcmp(data.data(), kPngSignature, sizeof kPngSignature) == 0) {
        QImage image = QImage::fromData(data.data(), static_cast<int>(data.size()), "PNG");
        if (image.isNull() || !SizeAllowed(image.width(), image.height(), std::int64_t{image.width()} * 4)) return {};
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return DecodeIconBitmap(data);
}

} // namespace

bool DecodeIcon(Bytes data, PictureFormat format, DecodedPicture& out) {
    const std::size_t count = U16(data, 4);
    if (!Fits(data, kDirectoryHeaderSize, count * kEntrySize)) return false;
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kDirectoryHeaderSize + i * kEntrySize;
        Entry e;
        const int w = data[at] == 0 ? 256 : data[at], h = data[at + 1] == 0 ? 256 : data[at + 1];
        e.area = w * h;
        e.bitCount = format == PictureFormat::Icon ? U16(data, at + 6) : 0;
        e.size = U32(data, at + 8);
        e.offset = U32(data, at + 12);
        if (e.size > 0 && Fits(data, e.offset, e.size)) entries.push_back(e);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.area != b.area ? a.area > b.area : a.bitCount > b.bitCount;
    });
    DecodedPicture result;
    for (const Entry& e : entries) {
        if (result.images.size() == kMaxImages) break;
        QImage image = DecodeIconImage(data.subspan(e.offset, e.size));
        if (!image.isNull()) result.images.push_back(std::move(image));
    }
    if (result.images.empty()) return false;
    // The directory's sizes may lie; order by what was decoded.
    std::stable_sort(result.images.begin(), result.images.end(), [](const QImage& a, const QImage& b) {
        return std::int64_t{a.width()} * a.height() > std::int64_t{b.width()} * b.height();
    });
    result.format = format;
    result.width = result.images.front().width();
    result.height = result.images.front().height();
    out = std::move(result);
    return true;
}

} // namespace paveno::pictures
