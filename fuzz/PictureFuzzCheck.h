// SPDX-License-Identifier: MIT
#pragma once
// The check shared by the picture fuzz targets. Beyond "no crash, no leak": a picture that decodes has pixel data of
// the size its dimensions say, and the Qt image made from it has those dimensions. Each target keeps to its own
// formats; the others have their own targets and seeds.
#include "forms/pictures/PictureDecoder.h"
#include "forms/pictures/PictureImage.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

inline int CheckDecodedPicture(const std::uint8_t* data, std::size_t size,
                               std::initializer_list<paveno::PictureFormat> formats) {
    const paveno::PictureFormat f = paveno::RecognisePictureFormat(data, size);
    if (std::find(formats.begin(), formats.end(), f) == formats.end()) return 0;
    const paveno::DecodedPicture picture = paveno::DecodePicture(data, size);
    if (!picture.IsPicture()) {
        if (picture.width != 0 || !picture.pixels.empty() || !picture.images.empty()) std::abort();
        return 0;
    }
    if (picture.width <= 0 || picture.height <= 0) std::abort();
    if (!picture.IsIcon()) {
        const std::size_t rows = picture.stride * static_cast<std::size_t>(picture.height);
        if (picture.pixels.size() != picture.RowsOffset() + rows ||
            picture.pixels.size() > paveno::kMaxPixelBytes + paveno::kPaletteBitmapPrefixSize)
            std::abort();
    }
    const QImage image = paveno::ToQImage(picture);
    if (image.width() != picture.width || image.height() != picture.height) std::abort();
    return 0;
}
