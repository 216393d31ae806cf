#include "image/ppm.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The header is parsed through a small buffer; the samples are then read
// in bands of whole rows straight into a second, larger buffer.
constexpr size_t kStreamBytes = 64 * 1024;
constexpr size_t kBandBytes = 1024 * 1024;
// Rows per band: each column of a band is four whole 64-byte cache lines
// of every plane, and a band of ordinary widths stays in the L2 cache.
constexpr int32_t kBandRows = 64;

// A file read through a buffer, with room to push back the last byte read.
// A read error counts as the end of the file, as it would for a byte-wise
// reader: the header checks then fail, or the samples read as -1.
struct InputStream {
    int fd;
    unsigned char* buffer;
    size_t pos;
    size_t len;
    bool ended;
};

ssize_t read_retrying(int fd, void* dst, size_t n) {
    for (;;) {
        const ssize_t got = read(fd, dst, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

bool refill(InputStream& in) {
    if (in.ended) return false;
    in.pos = 0;
    in.len = 0;
    const ssize_t got = read_retrying(in.fd, in.buffer, kStreamBytes);
    if (got <= 0) {
        in.ended = true;
        return false;
    }
    in.len = static_cast<size_t>(got);
    return true;
}

// The next byte, or -1 at the end of the file.
int next_byte(InputStream& in) {
    if (in.pos == in.len && !refill(in)) return -1;
    return in.buffer[in.pos++];
}

// Pushes back the byte just returned by next_byte (never -1).
void push_back(InputStream& in) { --in.pos; }

// Reads up to n bytes into dst, first from the buffer, then straight from
// the file. Fewer than n only at the end of the file.
size_t read_bulk(InputStream& in, unsigned char* dst, size_t n) {
    size_t done = std::min(n, in.len - in.pos);
    memcpy(dst, in.buffer + in.pos, done);
    in.pos += done;
    while (done < n && !in.ended) {
        const ssize_t got = read_retrying(in.fd, dst + done, n - done);
        if (got <= 0) {
            in.ended = true;
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

void skip_space(InputStream& in) {
    int c;
    do c = next_byte(in);
    while (is_space(c));
    if (c >= 0) push_back(in);
}

// One "%d" conversion: white space, an optional sign, then at least one
// digit. False when there is no digit or the value does not fit in 32 bits.
bool scan_int(InputStream& in, int32_t& value) {
    skip_space(in);
    int c = next_byte(in);
    const bool negative = c == '-';
    if (c == '+' || c == '-') c = next_byte(in);
    if (!is_digit(c)) {
        if (c >= 0) push_back(in);
        return false;
    }
    int64_t magnitude = 0;
    bool too_big = false;
    for (; is_digit(c); c = next_byte(in)) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{INT32_MAX} + 1) {
            too_big = true;
            magnitude = int64_t{INT32_MAX} + 1;  // keeps accumulating without overflow
        }
    }
    if (c >= 0) push_back(in);
    const int64_t signed_value = negative ? -magnitude : magnitude;
    if (too_big || signed_value > INT32_MAX) return false;
    value = static_cast<int32_t>(signed_value);
    return true;
}

// Echoes the rest of the comment line, keeping only space to 'z', and
// consumes its line feed.
void echo_comment(InputStream& in) {
    char out[4096];
    size_t used = 0;
    for (;;) {
        if (in.pos == in.len && !refill(in)) break;
        const unsigned char* start = in.buffer + in.pos;
        const size_t avail = in.len - in.pos;
        const void* lf = memchr(start, '\n', avail);
        const size_t take = lf ? static_cast<size_t>(static_cast<const unsigned char*>(lf) - start) : avail;
        for (size_t i = 0; i < take; ++i) {
            if (start[i] >= 32 && start[i] <= 122) {
                out[used++] = static_cast<char>(start[i]);
                if (used == sizeof out) {
                    fwrite(out, 1, used, stdout);
                    used = 0;
                }
            }
        }
        in.pos += take;
        if (lf) {
            ++in.pos;
            break;
        }
    }
    fwrite(out, 1, used, stdout);
}

// Consumes the maximum-value field up to and including its line feed and
// returns the value of its leading digits (capped), or 0 when it has none.
uint32_t skip_max_value(InputStream& in) {
    uint32_t value = 0;
    int c;
    while (is_digit(c = next_byte(in))) value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(c - '0'), 65536);
    while (c >= 0 && c != '\n') {
        if (in.pos == in.len && !refill(in)) break;
        const void* lf = memchr(in.buffer + in.pos, '\n', in.len - in.pos);
        if (lf) {
            in.pos = static_cast<size_t>(static_cast<const unsigned char*>(lf) - in.buffer) + 1;
            break;
        }
        in.pos = in.len;
    }
    return value;
}

// Stores n samples that start at sample number `first` of the file (file
// order: row by row, three samples per pixel). A null src stores -1s.
void scatter_samples(const unsigned char* src, size_t n, uint64_t first, const ImagePlanes& planes) {
    int32_t* const plane[3] = {planes.red, planes.green, planes.blue};
    const uint64_t width = static_cast<uint64_t>(planes.width);
    const uint64_t height = static_cast<uint64_t>(planes.height);
    const uint64_t pixel = first / 3;
    unsigned channel = static_cast<unsigned>(first % 3);
    uint64_t x = pixel % width;
    uint64_t y = pixel / width;
    for (size_t i = 0; i < n; ++i) {
        plane[channel][x * height + y] = src ? src[i] : -1;
        if (++channel == 3) {
            channel = 0;
            if (++x == width) {
                x = 0;
                ++y;
            }
        }
    }
}

// Scalar transpose of the pixels [x_begin, x_end) of `rows` complete rows
// starting at row y0: each column becomes a contiguous run in every plane.
void scatter_block(const unsigned char* src, size_t x_begin, size_t x_end, int32_t y0, int32_t rows,
                   const ImagePlanes& planes) {
    const size_t row_bytes = static_cast<size_t>(planes.width) * 3;
    const size_t height = static_cast<size_t>(planes.height);
    for (size_t x = x_begin; x < x_end; ++x) {
        const size_t at = x * height + static_cast<size_t>(y0);
        int32_t* __restrict red = planes.red + at;
        int32_t* __restrict green = planes.green + at;
        int32_t* __restrict blue = planes.blue + at;
        const unsigned char* __restrict s = src + 3 * x;
        for (int32_t dy = 0; dy < rows; ++dy, s += row_bytes) {
            red[dy] = s[0];
            green[dy] = s[1];
            blue[dy] = s[2];
        }
    }
}

#ifdef __SSE2__
// The same for 4 rows and 4 pixels at a time: interleaving the rows' bytes
// gathers each sample's 4 rows into one 32-bit lane, which widens into a
// single 16-byte store instead of four. Reads up to 4 bytes past the last
// pixel of a row; the band buffer has room for that.
void scatter_rows_4x4(const unsigned char* src, size_t pixels, int32_t y0, int32_t rows, const ImagePlanes& planes) {
    const size_t row_bytes = static_cast<size_t>(planes.width) * 3;
    const size_t height = static_cast<size_t>(planes.height);
    int32_t* const plane[3] = {planes.red, planes.green, planes.blue};
    const __m128i zero = _mm_setzero_si128();
    for (size_t x = 0; x < pixels; x += 4) {
        for (int32_t dy = 0; dy < rows; dy += 4) {
            const unsigned char* s = src + static_cast<size_t>(dy) * row_bytes + 3 * x;
            const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + row_bytes));
            const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * row_bytes));
            const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * row_bytes));
            const __m128i low01 = _mm_unpacklo_epi8(r0, r1);
            const __m128i low23 = _mm_unpacklo_epi8(r2, r3);
            const __m128i high01 = _mm_unpackhi_epi8(r0, r1);
            const __m128i high23 = _mm_unpackhi_epi8(r2, r3);
            // Lane j of `quads` holds byte j of the four rows, for j = 0..11.
            const __m128i quads[3] = {_mm_unpacklo_epi16(low01, low23), _mm_unpackhi_epi16(low01, low23),
                                      _mm_unpacklo_epi16(high01, high23)};
            const size_t row_at = static_cast<size_t>(y0 + dy);
            for (int q = 0; q < 3; ++q) {
                const __m128i pairs[2] = {_mm_unpacklo_epi8(quads[q], zero), _mm_unpackhi_epi8(quads[q], zero)};
                for (int half = 0; half < 2; ++half) {
                    const __m128i lanes[2] = {_mm_unpacklo_epi16(pairs[half], zero),
                                              _mm_unpackhi_epi16(pairs[half], zero)};
                    for (int k = 0; k < 2; ++k) {
                        const int j = 4 * q + 2 * half + k;  // byte j of the 4-pixel group
                        int32_t* column = plane[j % 3] + (x + static_cast<size_t>(j / 3)) * height + row_at;
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(column), lanes[k]);
                    }
                }
            }
        }
    }
}
#endif

// Transposes `rows` complete rows, starting at row y0, into the planes.
// Kept out of line: inlined into read_ppm, its pointers spill to the stack.
[[gnu::noinline]] void scatter_rows(const unsigned char* src, int32_t y0, int32_t rows, const ImagePlanes& planes) {
    const size_t width = static_cast<size_t>(planes.width);
#ifdef __SSE2__
    const int32_t rows4 = rows & ~3;
    const size_t pixels4 = width & ~size_t{3};
    scatter_rows_4x4(src, pixels4, y0, rows4, planes);
    scatter_block(src, pixels4, width, y0, rows4, planes);
    scatter_block(src + static_cast<size_t>(rows4) * width * 3, 0, width, y0 + rows4, rows - rows4, planes);
#else
    scatter_block(src, 0, width, y0, rows, planes);
#endif
}

// The file ended at sample number `end`: every later sample is -1.
void fill_missing(uint64_t end, const ImagePlanes& planes) {
    const uint64_t row_samples = static_cast<uint64_t>(planes.width) * 3;
    const uint64_t first_empty_row = (end + row_samples - 1) / row_samples;
    scatter_samples(nullptr, first_empty_row * row_samples - end, end, planes);
    const size_t height = static_cast<size_t>(planes.height);
    const size_t rows = height - first_empty_row;
    if (rows == 0) return;
    for (int32_t* plane : {planes.red, planes.green, planes.blue}) {
        if (first_empty_row == 0) {
            std::fill_n(plane, height * static_cast<size_t>(planes.width), -1);
            continue;
        }
        for (size_t x = 0; x < static_cast<size_t>(planes.width); ++x)
            std::fill_n(plane + x * height + first_empty_row, rows, -1);
    }
}

// Reads the samples, row-major in the file, into the column-major planes.
void read_samples(InputStream& in, const ImagePlanes& planes) {
    if (planes.width == 0 || planes.height == 0) return;
    // The 4x4 transpose may read a few bytes past the last row.
    static unsigned char band[kBandBytes + 16];
    const uint64_t row_bytes = static_cast<uint64_t>(planes.width) * 3;

    if (row_bytes <= kBandBytes) {
        const int32_t band_rows = static_cast<int32_t>(std::min<uint64_t>(kBandBytes / row_bytes, kBandRows));
        for (int32_t y = 0; y < planes.height; y += band_rows) {
            const int32_t rows = std::min(band_rows, planes.height - y);
            const size_t want = static_cast<size_t>(rows) * row_bytes;
            const size_t got = read_bulk(in, band, want);
            if (got == want) {
                scatter_rows(band, y, rows, planes);
                continue;
            }
            const int32_t whole = static_cast<int32_t>(got / row_bytes);
            scatter_rows(band, y, whole, planes);
            const uint64_t row_start = static_cast<uint64_t>(y + whole) * row_bytes;
            scatter_samples(band + whole * row_bytes, got % row_bytes, row_start, planes);
            fill_missing(row_start + got % row_bytes, planes);
            return;
        }
        return;
    }

    // Rows wider than the band buffer: each row in pieces.
    for (uint64_t y = 0; y < static_cast<uint64_t>(planes.height); ++y) {
        for (uint64_t done = 0; done < row_bytes;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(kBandBytes, row_bytes - done));
            const size_t got = read_bulk(in, band, want);
            const uint64_t first = y * row_bytes + done;
            scatter_samples(band, got, first, planes);
            if (got < want) {
                fill_missing(first + got, planes);
                return;
            }
            done += got;
        }
    }
}

// Every page of a plane is written, column by column across the whole
// image. Faulting the pages in one call instead of one trap per page
// matters most on virtual machines; for large planes huge pages also cut
// the faults and TLB misses by a factor of 512. Both are hints: a kernel
// without them just faults pages in as they are touched.
constexpr size_t kPage = 4096;
constexpr size_t kHugePage = 2 * 1024 * 1024;

void prepare_pages(void* memory, size_t bytes) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(memory);
    if (bytes >= 4 * kHugePage) {
        const uintptr_t start = (first + kHugePage - 1) & ~(kHugePage - 1);
        const uintptr_t end = (first + bytes) & ~(kHugePage - 1);
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#ifdef MADV_POPULATE_WRITE
    const uintptr_t start = (first + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (first + bytes) & ~(kPage - 1);
    if (end <= start) return;
    // Memory kept from the previous file is already mapped; walking it
    // again would cost more than it saves.
    unsigned char first_resident = 0;
    unsigned char last_resident = 0;
    if (mincore(reinterpret_cast<void*>(start), kPage, &first_resident) == 0 &&
        mincore(reinterpret_cast<void*>(end - kPage), kPage, &last_resident) == 0 && (first_resident & 1) &&
        (last_resident & 1))
        return;
    madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#endif
}

bool allocate_plane(int32_t*& plane, size_t samples) {
    plane = new (std::nothrow) int32_t[samples];
    if (!plane) return false;
    prepare_pages(plane, samples * sizeof(int32_t));
    return true;
}

}  // namespace

void retain_plane_memory() {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

void release_planes(ImagePlanes& planes) {
    delete[] planes.red;
    delete[] planes.green;
    delete[] planes.blue;
    planes.red = planes.green = planes.blue = nullptr;
}

int read_ppm(const char* name, ImagePlanes& planes) {
    printf("Attempting to open %s\n", name);
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        printf("Unable to open this file.\n");
        return 0;
    }
    static unsigned char stream_buffer[kStreamBytes];
    InputStream in{fd, stream_buffer, 0, 0, false};
    auto fail = [&](const char* message) {
        close(fd);
        fputs(message, stdout);
        return 0;
    };

    const int magic[3] = {next_byte(in), next_byte(in), next_byte(in)};
    if (magic[0] != 'P' || magic[1] != '6' || magic[2] != '\n') return fail("Not a PPM6 (binary-encoded) file!\n");

    const int first = next_byte(in);
    if (first == '#') {
        printf("File comment:-\n");
        echo_comment(in);
    } else {
        printf("This PPM file has no comment.\n");
        if (first >= 0) push_back(in);
    }
    putchar('\n');

    if (!scan_int(in, planes.width)) return fail("Bad image size in header.\n");
    if (!scan_int(in, planes.height)) return fail("Bad image size in header.\n");
    skip_space(in);
    printf("File is %d x %d\n", planes.width, planes.height);

    if (planes.width < 0 || planes.height < 0) return fail("Unsupported image size.\n");
    // Each plane's byte count must itself fit in 32 bits.
    const int64_t samples = int64_t{planes.width} * planes.height;
    if (samples > INT32_MAX / 4) return fail("Unsupported image size.\n");
    const int32_t plane_bytes = static_cast<int32_t>(samples * 4);

    planes.red = planes.green = planes.blue = nullptr;
    const size_t count = static_cast<size_t>(samples);
    if (!allocate_plane(planes.red, count) || !allocate_plane(planes.green, count) ||
        !allocate_plane(planes.blue, count)) {
        release_planes(planes);
        close(fd);
        printf("Out of memory (%d bytes required).\n", plane_bytes);
        return 0;
    }

    if (skip_max_value(in) > 255) {
        release_planes(planes);
        return fail("Unsupported maximum value: samples must be one byte each.\n");
    }
    printf("Now analysing file...\n");

    read_samples(in, planes);
    close(fd);
    return 1;
}
