// JPEG through libjpeg-turbo, which can decode a photograph straight at
// 1/2, 1/4 or 1/8 of its size: a large picture for a small screen never
// exists in memory at full size.
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "lib/fit/decoders.h"
#include "platform/platform.h"

namespace {

struct Errors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char* reason;
    size_t capacity;
};

void on_error(j_common_ptr decoder) {
    Errors& errors = *reinterpret_cast<Errors*>(decoder->err);
    const int code = errors.manager.msg_code;
    if (code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE) {
        // The ceiling set in read_rows was reached: libjpeg would have
        // needed more than the check there allowed for.
        const j_decompress_ptr info = reinterpret_cast<j_decompress_ptr>(decoder);
        snprintf(errors.reason, errors.capacity, "%u x %u pixels are more than this system can hold",
                 static_cast<unsigned>(info->image_width), static_cast<unsigned>(info->image_height));
    } else {
        char text[JMSG_LENGTH_MAX];
        errors.manager.format_message(decoder, text);
        say_damaged(errors.reason, errors.capacity, "%s", text);
    }
    longjmp(errors.jump, 1);
}

// libjpeg's warnings all mean damage: corrupt data, a file cut short, a
// marker where data should be, bytes between segments. Carrying on would
// fill what is missing with grey and, for a file that declares a huge
// picture in a few bytes, spend seconds and gigabytes doing it; so the
// first warning ends the decode. Level 0 and above are trace messages.
void on_message(j_common_ptr decoder, int level) {
    if (level < 0) on_error(decoder);
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
    jpeg_create_decompress(&decoder.info);
    if (setjmp(decoder.errors.jump)) return false;
    jpeg_mem_src(&decoder.info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder.info, TRUE);
    if (decoder.info.jpeg_color_space == JCS_CMYK || decoder.info.jpeg_color_space == JCS_YCCK) {
        snprintf(reason, capacity, "a CMYK JPEG, which tarnvil-fit does not read");
        return false;
    }
    const jpeg_decompress_struct& info = decoder.info;
    if (!picture_size_taken(info.image_width, info.image_height, reason, capacity)) return false;
    uint64_t blocks = 0;
    for (int i = 0; i < info.num_components; ++i)
        blocks += uint64_t{info.comp_info[i].width_in_blocks} * info.comp_info[i].height_in_blocks;
    return jpeg_holds_its_blocks(blocks, info.arith_code != 0, bytes, size, info.image_width, info.image_height, reason,
                                 capacity);
}

// The memory libjpeg takes for itself. A file of several scans (every
// progressive one) keeps the coefficients of the whole picture, 128 bytes
// a block, whatever size it is decoded at; the rest is rows of samples for
// an MCU row at a time, counted generously, and the decoder's own tables.
uint64_t decoder_bytes(jpeg_decompress_struct& info) {
    uint64_t bytes = uint64_t{16} << 20;
    const bool whole = jpeg_has_multiple_scans(&info) != 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& component = info.comp_info[i];
        const uint64_t across = (uint64_t{component.width_in_blocks} + static_cast<unsigned>(component.h_samp_factor) - 1) /
                                static_cast<unsigned>(component.h_samp_factor) * static_cast<unsigned>(component.h_samp_factor);
        const uint64_t down = (uint64_t{component.height_in_blocks} + static_cast<unsigned>(component.v_samp_factor) - 1) /
                              static_cast<unsigned>(component.v_samp_factor) * static_cast<unsigned>(component.v_samp_factor);
        bytes += (whole ? across * down : across * static_cast<unsigned>(component.v_samp_factor)) * sizeof(JBLOCK);
        bytes += across * DCTSIZE * 32;  // sample rows for upsampling and colour conversion
    }
    return bytes;
}

// Whether every component has had every coefficient to its last bit. A
// progressive file cut short at the end of a scan, or an arithmetic-coded
// one cut anywhere (its decoder reads zeros past the data without a
// warning), gives its later scans' coefficients as zero: a blurred or
// blotched picture that would otherwise pass.
bool has_every_scan(const jpeg_decompress_struct& info) {
    for (int c = 0; c < info.num_components; ++c)
        for (int k = 0; k < DCTSIZE2; ++k)
            if (info.coef_bits[c][k] != 0) return false;
    return true;
}

// An arithmetic-coded file of one scan ends its data where its encoder
// left off trailing zero bytes, which decode as the blocks of a flat
// area; so when the data ends before the last rows, the rows after must be
// one colour. Data cut short reads as zeros too, but decodes as anything
// the coder's statistics make of it.
struct ArithmeticEnd {
    bool checking = false;
    JDIMENSION from = 0;   // the first row that must be one colour, once the data has ended
    bool ended = false;
    bool flat = true;
    uint8_t colour[3] = {0, 0, 0};
    bool have_colour = false;

    void after_row(const jpeg_decompress_struct& info, const uint8_t* row, JDIMENSION y) {
        if (!checking) return;
        // The end of the image: a restart marker ends only its interval.
        if (!ended && info.unread_marker == JPEG_EOI) {
            ended = true;
            // The decoder reads a few rows of blocks ahead of its output.
#if JPEG_LIB_VERSION >= 70
            const int block_rows = info.min_DCT_v_scaled_size;
#else
            const int block_rows = info.min_DCT_scaled_size;
#endif
            from = y + 3 * static_cast<JDIMENSION>(info.max_v_samp_factor * block_rows);
        }
        if (!ended || y < from || !flat) return;
        if (!have_colour) {
            memcpy(colour, row, 3);
            have_colour = true;
        }
        for (JDIMENSION x = 0; x < info.output_width && flat; ++x) flat = memcmp(row + 3 * size_t{x}, colour, 3) == 0;
    }
};

bool read_rows(Decoder& decoder, int32_t reduce, size_t size, const PictureRows& rows, char* reason, size_t capacity) {
    jpeg_decompress_struct& info = decoder.info;
    if (setjmp(decoder.errors.jump)) return false;
    info.out_color_space = JCS_EXT_RGB;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(reduce);
    jpeg_calc_output_dimensions(&info);
    // The rows go on one at a time; what libjpeg holds for itself, far more
    // for a progressive file, is checked against the budget for what is
    // held, and its memory manager is held to that amount, so that an
    // estimate too low ends in a message rather than in swapping.
    const uint64_t own = decoder_bytes(info);
    if (own > static_cast<uint64_t>(LONG_MAX) ||
        !held_memory_fits(own, info.image_width, info.image_height, size, reason, capacity))
        return false;
    info.mem->max_memory_to_use = static_cast<long>(own);
    if (!rows.start(rows.context, static_cast<int32_t>(info.output_width), static_cast<int32_t>(info.output_height), 8,
                    3, reason, capacity))
        return false;
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * 3, 1);
    jpeg_start_decompress(&info);
    if (info.progressive_mode && info.coef_bits && !has_every_scan(info)) {
        say_damaged(reason, capacity, "the file ends before its last scan");
        return false;
    }
    ArithmeticEnd end;
    end.checking = info.arith_code && !jpeg_has_multiple_scans(&info);
    while (info.output_scanline < info.output_height) {
        const JDIMENSION y = info.output_scanline;
        jpeg_read_scanlines(&info, row, 1);
        end.after_row(info, row[0], y);
        if (!end.flat) {
            say_damaged(reason, capacity, "its data ends before its last rows");
            return false;
        }
        rows.row(rows.context, row[0]);
    }
    jpeg_finish_decompress(&info);
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

bool decode_jpeg(const uint8_t* bytes, size_t size, int32_t reduce, const PictureRows& rows, char* reason,
                 size_t capacity) {
    Decoder decoder;
    const bool done = start(decoder, bytes, size, reason, capacity) && read_rows(decoder, reduce, size, rows, reason, capacity);
    jpeg_destroy_decompress(&decoder.info);
    return done;
}

bool jpeg_finds_every_gap() { return true; }
