// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace paveno::tools {

// A JPEG made with libjpeg, for the demo site's covers and the tests' pictures. colourAt gives 0xRRGGBB (a QRgb
// serves); with one component the picture is grey, taken from the red channel.
struct JpegRecipe {
    int width = 0;
    int height = 0;
    int components = 3;
    int quality = 95;
    bool progressive = false;
    std::size_t padTo = 0; // a comment segment brings the file to at least about this many bytes
};

ByteSet EncodeJpeg(const JpegRecipe& recipe, const std::function<std::uint32_t(int x, int y)>& colourAt);

} // namespace paveno::tools
