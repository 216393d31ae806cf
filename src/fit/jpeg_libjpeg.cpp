// JPEG through libjpeg-turbo, which can decode a photograph straight at
// 1/2, 1/4 or 1/8 of its size: a large picture for a small screen never
// exists in memory at full size.
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstdlib>

#include "fit/decoders.h"

namespace {

struct Errors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char* reason;
    size_t capacity;
    bool cut_short;
};

void on_error(j_common_ptr decoder) {
    Errors& errors = *reinterpret_cast<Errors*>(decoder->err);
    char text[JMSG_LENGTH_MAX];
    errors.manager.format_message(decoder, text);
    snprintf(errors.reason, errors.capacity, "damaged or cut short (%s)", text);
    longjmp(errors.jump, 1);
}

// Warnings are dropped, but for the one a file cut short gives: the
// decoder would fill the rest with grey and carry on.
void on_message(j_common_ptr decoder, int level) {
    Errors& errors = *reinterpret_cast<Errors*>(decoder->err);
    if (level < 0 && errors.manager.msg_code == JWRN_JPEG_EOF) errors.cut_short = true;
}

// Everything between the two setjmp calls owns no memory of its own, so
// libjpeg's longjmp may leave it at any point.
struct Decoder {
    jpeg_decompress_struct info;
    Errors errors;
};

bool start(Decoder& decoder, const uint8_t* bytes, size_t size, char* reason, size_t capacity) {
    decoder.info.err = jpeg_std_error(&decoder.errors.manager);
    decoder.errors.manager.error_exit = on_error;
    decoder.errors.manager.emit_message = on_message;
    decoder.errors.reason = reason;
    decoder.errors.capacity = capacity;
    decoder.errors.cut_short = false;
    jpeg_create_decompress(&decoder.info);
    if (setjmp(decoder.errors.jump)) return false;
    jpeg_mem_src(&decoder.info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder.info, TRUE);
    if (decoder.info.jpeg_color_space == JCS_CMYK || decoder.info.jpeg_color_space == JCS_YCCK) {
        snprintf(reason, capacity, "a CMYK JPEG, which tarnvil-fit does not read");
        return false;
    }
    return true;
}

bool read_rows(Decoder& decoder, int32_t reduce, Picture& picture, char* reason, size_t capacity) {
    if (setjmp(decoder.errors.jump)) return false;
    decoder.info.out_color_space = JCS_EXT_RGB;
    decoder.info.scale_num = 1;
    decoder.info.scale_denom = static_cast<unsigned>(reduce);
    jpeg_calc_output_dimensions(&decoder.info);
    if (!allocate_picture(static_cast<int32_t>(decoder.info.output_width), static_cast<int32_t>(decoder.info.output_height),
                          8, picture, reason, capacity, 3))
        return false;
    jpeg_start_decompress(&decoder.info);
    const size_t row_bytes = size_t{decoder.info.output_width} * 3;
    while (decoder.info.output_scanline < decoder.info.output_height) {
        JSAMPROW row = static_cast<uint8_t*>(picture.samples) + decoder.info.output_scanline * row_bytes;
        jpeg_read_scanlines(&decoder.info, &row, 1);
    }
    jpeg_finish_decompress(&decoder.info);
    if (decoder.errors.cut_short) {
        snprintf(reason, capacity, "cut short");
        return false;
    }
    return true;
}

}  // namespace

bool jpeg_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity) {
    Decoder decoder;
    const bool read = start(decoder, bytes, size, reason, capacity);
    if (read) {
        width = static_cast<int32_t>(decoder.info.image_width);
        height = static_cast<int32_t>(decoder.info.image_height);
    }
    jpeg_destroy_decompress(&decoder.info);
    return read;
}

bool decode_jpeg(const uint8_t* bytes, size_t size, int32_t reduce, Picture& picture, char* reason,
                 size_t capacity) {
    Decoder decoder;
    const bool done = start(decoder, bytes, size, reason, capacity) && read_rows(decoder, reduce, picture, reason, capacity);
    jpeg_destroy_decompress(&decoder.info);
    if (!done) release_picture(picture);
    return done;
}
