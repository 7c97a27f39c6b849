// SPDX-License-Identifier: MIT
// Any bytes as a picture file; the seeds are GIF: the screen, extensions, the first image and our LZW decoder.
#include "fuzz/PictureFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return CheckDecodedPicture(data, size, {paveno::PictureFormat::Gif});
}
