// SPDX-License-Identifier: MIT
// Any bytes as a picture file; the seeds are JPEG through libjpeg: a damaged file must leave by the error jump without
// a leak.
#include "fuzz/PictureFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return CheckDecodedPicture(data, size, {paveno::PictureFormat::Jpeg});
}
