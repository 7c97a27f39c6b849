// SPDX-License-Identifier: MIT
#include "tools/jpeg/JpegEncoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace paveno::tools {

ByteSet EncodeJpeg(const JpegRecipe& recipe, const std::function<std::uint32_t(int x, int y)>& colourAt) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(recipe.width);
    cinfo.image_height = static_cast<JDIMENSION>(recipe.height);
    cinfo.input_components = recipe.components;
    cinfo.in_color_space = recipe.components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, recipe.quality, TRUE);
    if (recipe.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    // Decoders skip comment segments; the picture data itself takes about a thousand bytes at the sizes used.
    for (std::size_t padding = recipe.padTo > 1000 ? recipe.padTo - 1000 : 0; padding > 0;) {
        const std::size_t chunk = std::min<std::size_t>(padding, 65000);
        std::vector<JOCTET> comment(chunk, 'x');
        jpeg_write_marker(&cinfo, JPEG_COM, comment.data(), static_cast<unsigned>(chunk));
        padding -= chunk;
    }
    std::vector<JSAMPLE> row(static_cast<std::size_t>(recipe.width * recipe.components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < recipe.width; ++x) {
            const std::uint32_t c = colourAt(x, y);
            JSAMPLE* p = &row[static_cast<std::size_t>(x * recipe.components)];
            p[0] = static_cast<JSAMPLE>(c >> 16 & 0xFF);
            if (recipe.components == 3) {
                p[1] = static_cast<JSAMPLE>(c >> 8 & 0xFF);
                p[2] = static_cast<JSAMPLE>(c & 0xFF);
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    ByteSet out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

} // namespace paveno::tools
