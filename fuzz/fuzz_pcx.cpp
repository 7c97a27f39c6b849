// SPDX-License-Identifier: MIT
// Any bytes as a picture file; the seeds are PCX of 8 bits and of 1 bit: the header checks and the run-length data.
#include "fuzz/PictureFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return CheckDecodedPicture(data, size, {paveno::PictureFormat::Pcx8, paveno::PictureFormat::Pcx1});
}
