// SPDX-License-Identifier: MIT
// Any bytes as a picture file; the seeds are bitmap files of every depth, bit fields and run-length data.
#include "fuzz/PictureFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return CheckDecodedPicture(data, size, {paveno::PictureFormat::Bmp});
}
