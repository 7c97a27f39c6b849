// SPDX-License-Identifier: MIT
// Any bytes as a picture file; the seeds are icons and cursors: the directory, bitmap images with their masks, PNG
// images.
#include "fuzz/PictureFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return CheckDecodedPicture(data, size, {paveno::PictureFormat::Icon, paveno::PictureFormat::Cursor});
}
