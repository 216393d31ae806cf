// The decoders behind decode.h, one set per format. PNG and JPEG come from
// libpng and libjpeg-turbo where the system has them and from stb_image
// where it does not; GIF and BMP always from stb_image; the netpbm formats
// from netpbm.cpp. Each returns false with `reason` set on failure, and
// the size functions read the header alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/fit/picture.h"

bool png_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity);
bool decode_png(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity);

bool jpeg_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity);
bool decode_jpeg(const uint8_t* bytes, size_t size, int32_t reduce, Picture& picture, char* reason,
                 size_t capacity);

// GIF and BMP.
bool stb_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason, size_t capacity);
bool decode_stb(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity);

bool netpbm_size(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height, char* reason,
                 size_t capacity);
bool decode_netpbm(const uint8_t* bytes, size_t size, Picture& picture, char* reason, size_t capacity);

// Whether a JPEG whose data stops short but still ends with its end marker
// is found out: libjpeg-turbo warns of the gap; stb_image fills it silently.
bool jpeg_finds_every_gap();

// The EXIF orientation (1..8) of a JPEG, 1 when it has none.
int32_t jpeg_orientation(const uint8_t* bytes, size_t size);
