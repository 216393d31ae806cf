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
        snprintf(errors.reason, errors.capacity, "damaged or cut short (%s)", text);
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

// Every Huffman-coded scan spends at least one bit on each 8 x 8 block of
// each component it covers (a DC code is never shorter), and every
// component must come in a scan, so a file shorter than an eighth of its
// blocks cannot hold the picture it declares. Arithmetic coding has no such
// bound: a block of a flat area can cost a small fraction of a bit, and
// data missing at the end reads as zeros without a warning. A photograph
// takes tens of bits a block either way; an arithmetic-coded file with
// less than a byte for every 1024 blocks is taken as damaged too, which
// turns away only huge pictures that are nearly blank. Either way the
// check comes before anything the size of the picture is allocated.
bool holds_its_blocks(const jpeg_decompress_struct& info, size_t size, char* reason, size_t capacity) {
    uint64_t blocks = 0;
    for (int i = 0; i < info.num_components; ++i)
        blocks += uint64_t{info.comp_info[i].width_in_blocks} * info.comp_info[i].height_in_blocks;
    if (blocks / (info.arith_code ? 1024 : 8) <= size) return true;
    snprintf(reason, capacity, "damaged or cut short (%llu bytes are too few for %u x %u pixels)",
             static_cast<unsigned long long>(size), static_cast<unsigned>(info.image_width),
             static_cast<unsigned>(info.image_height));
    return false;
}

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
    return holds_its_blocks(decoder.info, size, reason, capacity);
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

bool read_rows(Decoder& decoder, int32_t reduce, Picture& picture, char* reason, size_t capacity) {
    if (setjmp(decoder.errors.jump)) return false;
    decoder.info.out_color_space = JCS_EXT_RGB;
    decoder.info.scale_num = 1;
    decoder.info.scale_denom = static_cast<unsigned>(reduce);
    jpeg_calc_output_dimensions(&decoder.info);
    // The picture handed over is checked by allocate_picture; libjpeg's own
    // buffers come on top of it, and for a progressive file may be far
    // larger. Its memory manager is held to the amount checked here, so
    // that an estimate too low ends in a message rather than in swapping.
    const uint64_t own = decoder_bytes(decoder.info);
    const uint64_t output = uint64_t{decoder.info.output_width} * decoder.info.output_height * 3;
    if (own > static_cast<uint64_t>(LONG_MAX) || !platform::memory_fits(own + output)) {
        snprintf(reason, capacity, "%u x %u pixels are more than this system can hold",
                 static_cast<unsigned>(decoder.info.image_width), static_cast<unsigned>(decoder.info.image_height));
        return false;
    }
    decoder.info.mem->max_memory_to_use = static_cast<long>(own);
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

bool jpeg_finds_every_gap() { return true; }
