// SPDX-License-Identifier: MIT
// JPEG through libjpeg. libjpeg reports errors by calling a routine that must not return; ours jumps back with
// longjmp, so the function that holds the jump target keeps no object with a destructor alive across it.
#include "forms/pictures/PictureCodecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace paveno::pictures {

namespace {

// A progressive file may hold any number of scans, each a full pass over the coefficients; beyond this many it is
// damaged or hostile.
constexpr int kMaxScans = 256;

struct ErrorManager {
    jpeg_error_mgr base; // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
};

struct ScanLimit {
    jpeg_progress_mgr base;
    j_decompress_ptr cinfo;
};

[[noreturn]] void ExitByJump(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->jump, 1);
}

// Warnings pass silently except the end of data arriving early: a file cut short is no picture, not a picture
// with a grey bottom.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) ExitByJump(cinfo);
}

void NoOutput(j_common_ptr) {}

void CheckScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans) ExitByJump(cinfo);
    }
}

// Everything that may be jumped over lives in the caller's frame or in plain C structures.
bool Decompress(jpeg_decompress_struct& cinfo, ErrorManager& errors, Bytes data, DecodedPicture& out, int shownWidth,
                int shownHeight) {
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ExitByJump;
    errors.base.emit_message = EmitMessage;
    errors.base.output_message = NoOutput;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    ScanLimit limit{};
    limit.base.progress_monitor = CheckScans;
    cinfo.progress = &limit.base;
    // libjpeg's own buffers (whole-picture coefficients of a progressive file) are bounded as well; past this it
    // fails, having no backing store.
    cinfo.mem->max_memory_to_use = static_cast<long>(2 * PixelBudget::Current());
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    // Checked before decompression starts, which is when libjpeg allocates its own buffers for the whole picture.
    const bool cut = shownWidth > 0 && shownHeight > 0;
    const std::int64_t width = cut ? std::min<std::int64_t>(cinfo.image_width, shownWidth) : cinfo.image_width;
    const std::int64_t height = cut ? std::min<std::int64_t>(cinfo.image_height, shownHeight) : cinfo.image_height;
    if (!SizeAllowed(width, height, width * 3)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != (grey ? 1 : 3)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Only the columns shown are decoded, and one block column more: colour is upsampled from its neighbours, so a
    // crop that ended at the last column shown would change the colours there.
    const std::int64_t context = 2 * cinfo.max_h_samp_factor * cinfo.min_DCT_scaled_size;
    if (cut && width + context < cinfo.output_width) {
        JDIMENSION left = 0, across = static_cast<JDIMENSION>(width + context);
        jpeg_crop_scanline(&cinfo, &left, &across);
    }
    const std::size_t decodedWidth = cinfo.output_width;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height), stride = w * 3;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(decodedWidth * cinfo.output_components), 1);
    while (cinfo.output_scanline < h) {
        const std::size_t y = cinfo.output_scanline;
        // The buffer grows with the rows actually decoded (never past the picture's size), so a file that declares
        // a large picture and breaks off early costs little.
        if (out.pixels.size() < (y + 1) * stride) {
            try {
                if (out.pixels.capacity() < (y + 1) * stride)
                    out.pixels.reserve(std::min(h * stride, std::max((y + 1) * stride, 2 * out.pixels.capacity())));
                out.pixels.resize((y + 1) * stride);
            } catch (const std::bad_alloc&) {
                jpeg_destroy_decompress(&cinfo);
                return false;
            }
        }
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        std::uint8_t* dst = out.pixels.data() + y * stride;
        const JSAMPLE* src = row[0];
        for (std::size_t x = 0; x < w; ++x, dst += 3) {
            if (grey) {
                dst[0] = dst[1] = dst[2] = src[x];
            } else {
                dst[0] = src[3 * x + 2];
                dst[1] = src[3 * x + 1];
                dst[2] = src[3 * x];
            }
        }
    }
    // The rows below the box are never decoded; finishing would ask for them.
    if (h < cinfo.output_height)
        jpeg_abort_decompress(&cinfo);
    else
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    // Rows were stored top-down as they came; the picture keeps them bottom-up.
    for (std::size_t top = 0, bottom = h - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(out.pixels.begin() + static_cast<std::ptrdiff_t>(top * stride),
                         out.pixels.begin() + static_cast<std::ptrdiff_t>((top + 1) * stride),
                         out.pixels.begin() + static_cast<std::ptrdiff_t>(bottom * stride));
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.stride = stride;
    out.format = PictureFormat::Jpeg;
    return true;
}

} // namespace

bool DecodeJpeg(Bytes data, DecodedPicture& out, int shownWidth, int shownHeight) {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    DecodedPicture result;
    if (!Decompress(cinfo, errors, data, result, shownWidth, shownHeight)) return false;
    out = std::move(result);
    return true;
}

} // namespace paveno::pictures
