// SPDX-License-Identifier: MIT
#include "forms/pictures/PictureImage.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstdint>

namespace paveno {

namespace {

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kWhite = 0xFFFFFFFFu;

bool HasRows(const DecodedPicture& p, std::size_t rowBytes) {
    if (p.width <= 0 || p.height <= 0 || p.stride < rowBytes) return false;
    const std::size_t offset = p.RowsOffset();
    return p.pixels.size() >= offset && (p.pixels.size() - offset) / p.stride >= static_cast<std::size_t>(p.height);
}

QImage FromBgr(const DecodedPicture& p) {
    const std::size_t w = static_cast<std::size_t>(p.width);
    if (!HasRows(p, w * 3)) return {};
    QImage image(p.width, p.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < p.height; ++y) {
        // Rows are stored bottom-up without padding; Qt's rows are top-down and 32-bit aligned.
        const std::uint8_t* src = p.pixels.data() + static_cast<std::size_t>(p.height - 1 - y) * p.stride;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (std::size_t x = 0; x < w; ++x, src += 3)
            dst[x] = qRgb(src[2], src[1], src[0]);
    }
    return image;
}

QImage FromPaletteBitmap(const DecodedPicture& p) {
    if (!HasRows(p, static_cast<std::size_t>(p.width))) return {};
    const std::uint8_t* palette = p.pixels.data() + kBitmapInfoHeaderSize;
    QRgb colours[kPaletteEntries];
    for (std::size_t i = 0; i < kPaletteEntries; ++i)
        colours[i] = qRgb(palette[4 * i + 2], palette[4 * i + 1], palette[4 * i]);
    QImage image(p.width, p.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* src =
            p.pixels.data() + kPaletteBitmapPrefixSize + static_cast<std::size_t>(p.height - 1 - y) * p.stride;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < p.width; ++x)
            dst[x] = colours[src[x]];
    }
    return image;
}

QImage FromBits(const DecodedPicture& p) {
    if (!HasRows(p, (static_cast<std::size_t>(p.width) + 7) / 8)) return {};
    QImage image(p.width, p.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* src = p.pixels.data() + static_cast<std::size_t>(y) * p.stride;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < p.width; ++x)
            dst[x] = (src[x / 8] >> (7 - x % 8) & 1) != 0 ? kWhite : kBlack;
    }
    return image;
}

} // namespace

QImage ToQImage(const DecodedPicture& picture) {
    switch (picture.format) {
    case PictureFormat::Jpeg:
    case PictureFormat::Bmp:
        return FromBgr(picture);
    case PictureFormat::Gif:
    case PictureFormat::Pcx8:
        return FromPaletteBitmap(picture);
    case PictureFormat::Pcx1:
        return FromBits(picture);
    case PictureFormat::Icon:
    case PictureFormat::Cursor:
        if (picture.images.empty()) return {};
        return picture.images.front().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    case PictureFormat::None:
        break;
    }
    return {};
}

PictureImage::PictureImage(const DecodedPicture& picture) : image_(ToQImage(picture)) {
    if (image_.isNull()) return;
    format_ = picture.format;
    if (picture.IsIcon()) iconImages_ = picture.images;
}

QIcon PictureImage::Icon() const {
    QIcon icon;
    if (iconImages_.empty()) {
        if (!image_.isNull()) icon.addPixmap(QPixmap::fromImage(image_));
        return icon;
    }
    for (const QImage& image : iconImages_)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

void PictureImage::Draw(QPainter& painter, QPoint topLeft) const {
    if (!image_.isNull()) painter.drawImage(topLeft, image_);
}

void PictureImage::CutTo(QSize size) {
    if (image_.isNull() || (image_.width() <= size.width() && image_.height() <= size.height())) return;
    image_ = image_.copy(0, 0, std::min(image_.width(), size.width()), std::min(image_.height(), size.height()));
}

} // namespace paveno
