// The decoders behind decode.h, one set per format. PNG and JPEG come from
// libpng and libjpeg-turbo where the system has them and from stb_image
// where it does not; GIF and BMP always from stb_image; the netpbm formats
// from netpbm.cpp. Each returns false with `reason` set on failure, and
// the size functions read the header alone. Each decoder hands its rows to
// `rows` (see picture.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/fit/picture.h"

bool png_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity);
bool decode_png(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity);

bool jpeg_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity);
bool decode_jpeg(const uint8_t* bytes, size_t size, int32_t reduce, const PictureRows& rows, char* reason,
                 size_t capacity);

// GIF and BMP.
bool stb_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity);
bool decode_stb(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity);

bool netpbm_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason,
                 size_t capacity);
bool decode_netpbm(const uint8_t* bytes, size_t size, const PictureRows& rows, char* reason, size_t capacity);

// Whether a JPEG whose data stops short but still ends with its end marker
// is found out: libjpeg-turbo warns of the gap; stb_image fills it silently.
bool jpeg_finds_every_gap();

// The bytes of a JPEG's entropy-coded data, its scans' alone: what the
// picture's blocks are made of, leaving out headers, tables, comments and
// metadata, which a file may carry any amount of.
uint64_t jpeg_entropy_bytes(const uint8_t* bytes, size_t size);

// Whether `bytes` of entropy-coded data can hold `blocks` 8 x 8 blocks:
// a Huffman-coded scan spends at least a bit on each block of each
// component it covers (a DC code is never shorter), and every component
// comes in a scan. Arithmetic coding has no such bound: a block of a flat
// area can cost a small fraction of a bit, and data missing at the end
// reads as zeros without a warning; a photograph takes tens of bits a block
// either way, so an arithmetic-coded file with less than a byte for every
// 1024 blocks is taken as damaged too, which turns away only huge pictures
// that are nearly blank; and as its decoding time follows the blocks
// rather than the bytes, above 200000 blocks (a 12-megapixel grey picture)
// it must bring a byte for every two. False with the reason when it cannot.
bool jpeg_holds_its_blocks(uint64_t blocks, bool arithmetic, const uint8_t* bytes, size_t size, int64_t width,
                           int64_t height, char* reason, size_t capacity);

// Whether a JPEG's frame header is one of arithmetic coding's.
bool jpeg_is_arithmetic(const uint8_t* bytes, size_t size);

// Whether a PNG that is not interlaced comes a row at a time (libpng), or
// is held whole and so within the budget for what is held (stb_image).
bool png_comes_in_rows();

// The EXIF orientation (1..8) of a JPEG, 1 when it has none.
int32_t jpeg_orientation(const uint8_t* bytes, size_t size);
