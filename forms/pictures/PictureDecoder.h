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

// The format that the first bytes announce, before any decoding; None for fewer than six bytes.
PictureFormat RecognisePictureFormat(const std::uint8_t* data, std::size_t size);

} // namespace paveno
