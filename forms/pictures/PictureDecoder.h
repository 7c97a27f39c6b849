// SPDX-License-Identifier: MIT
#pragma once

#include "forms/pictures/DecodedPicture.h"

#include <cstddef>
#include <cstdint>

namespace paveno {

// Recognises a picture file by its first six bytes and decodes it. Anything that is not a picture of a known format,
// or that is truncated, damaged or too large, gives a picture of format None: silently, with nothing left allocated.
DecodedPicture DecodePicture(const ByteSet& bytes);
DecodedPicture DecodePicture(const std::uint8_t* data, std::size_t size);

// What a box of shownWidth x shownHeight shows of the picture, drawn at its own size from the box's top-left corner,
// without decoding the rest where the format allows: a JPEG's rows below the box are never decoded and its columns
// to the right are cropped while decoding (a progressive JPEG whose whole-picture buffers would pass the budget is no
// picture). Any other format is decoded whole only within kMaxShownPictureBytes, for the caller to cut; a larger one
// is no picture. So a picture shown in a box never takes more than about twice that budget.
inline constexpr std::size_t kMaxShownPictureBytes = std::size_t{16} << 20;
DecodedPicture DecodePictureShown(const ByteSet& bytes, int shownWidth, int shownHeight);

// The format that the first bytes announce, before any decoding; None for fewer than six bytes.
PictureFormat RecognisePictureFormat(const std::uint8_t* data, std::size_t size);

} // namespace paveno
