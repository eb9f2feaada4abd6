#include "Technician/decode/JpegImage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace decode {

namespace {

// libjpeg reports errors through these; error_exit must not return, so it
// jumps back to decodeInto. Only plain C data lives in the frames it skips.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr cinfo)
{
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings mean corrupt or truncated data: the picture would be partly
// invented, so they fail the image as errors do.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        onError(cinfo);
}

enum class Outcome { Decoded, WrongImage, LibraryError };

// Decodes into out (w * h entries, already sized). Kept free of C++ objects
// with destructors, as a longjmp leaves it.
Outcome decodeInto(const uint8_t* data, size_t size, int w, int h, uint32_t* out, ErrorManager& err)
{
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Outcome::LibraryError;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width != static_cast<JDIMENSION>(w) || cinfo.image_height != static_cast<JDIMENSION>(h) ||
        cinfo.num_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        return Outcome::WrongImage;
    }
    // Blue, green, red, pad in memory: a little-endian 0xXXRRGGBB.
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    const size_t width = static_cast<size_t>(w);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION want = cinfo.output_height - first < 16 ? cinfo.output_height - first : 16;
        for (JDIMENSION i = 0; i < want; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(out + (first + i) * width);
        const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, want);
        // Clear the pad byte while the rows are still in the cache.
        uint32_t* p = out + first * width;
        for (size_t i = 0; i < got * width; ++i)
            p[i] &= 0xFFFFFF;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return Outcome::Decoded;
}

} // namespace

bool JpegImage::decode(const uint8_t* data, size_t size, int w, int h, std::vector<uint32_t>& out)
{
    out.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    ErrorManager err;
    switch (decodeInto(data, size, w, h, out.data(), err)) {
    case Outcome::WrongImage:
        m_why = "Tight Encoding: Wrong JPEG data received.\n";
        return false;
    case Outcome::LibraryError:
        m_why = std::string(err.message) + "\n";
        return false;
    default:
        break;
    }
    return true;
}

} // namespace decode
