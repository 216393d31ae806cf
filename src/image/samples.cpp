#include "image/samples.h"

#include <algorithm>
#include <memory>
#include <new>
#include <cstdint>

#include "image/transpose.h"

namespace {

// The samples are read in bands of whole rows. Rows per band: each column
// of a band is four whole 64-byte cache lines of every plane, and a band
// of ordinary widths stays in the L2 cache.
constexpr size_t kBandBytes = 1024 * 1024;
constexpr int32_t kBandRows = 64;
// Fewer rows than this per band would waste the four-row transpose.
constexpr uint64_t kMinBandRows = 4;

// Transposes the `got` bytes of a band that starts at row y; false when the
// data ended inside it, after marking every sample from there on missing.
bool scatter_band(const unsigned char* band, size_t got, size_t want, int32_t y, uint64_t row_bytes,
                  const ImagePlanes& planes) {
    const int32_t whole = static_cast<int32_t>(got / row_bytes);
    scatter_rows(band, y, whole, planes);
    if (got == want) return true;
    const uint64_t row_start = static_cast<uint64_t>(y + whole) * row_bytes;
    scatter_samples(band + whole * row_bytes, got % row_bytes, row_start, planes);
    fill_missing(row_start + got % row_bytes, planes);
    return false;
}

}  // namespace

void read_samples(ByteStream& in, const ImagePlanes& planes) {
    if (planes.width == 0 || planes.height == 0) return;
    const uint64_t row_bytes = static_cast<uint64_t>(planes.width) * 3;

    // Bands of ordinary widths are transposed straight from the stream's
    // buffer: no copy, and no more fresh memory for a process that
    // converts one picture.
    if (row_bytes * kMinBandRows <= in.capacity) {
        const int32_t band_rows = static_cast<int32_t>(std::min<uint64_t>(in.capacity / row_bytes, kBandRows));
        for (int32_t y = 0; y < planes.height; y += band_rows) {
            const size_t want = static_cast<size_t>(std::min(band_rows, planes.height - y)) * row_bytes;
            size_t got = 0;
            const unsigned char* band = take_span(in, want, got);
            if (!scatter_band(band, got, want, y, row_bytes, planes)) return;
        }
        return;
    }

    // A band of the call's own, so that conversions may run side by side;
    // short of memory, a small one does the same work in more pieces.
    unsigned char fallback[4096 + kTransposeSlack];
    const std::unique_ptr<unsigned char[]> owned(new (std::nothrow) unsigned char[kBandBytes + kTransposeSlack]);
    unsigned char* const band = owned ? owned.get() : fallback;
    const size_t band_bytes = owned ? kBandBytes : sizeof fallback - kTransposeSlack;
    if (row_bytes <= band_bytes) {
        const int32_t band_rows = static_cast<int32_t>(std::min<uint64_t>(band_bytes / row_bytes, kBandRows));
        for (int32_t y = 0; y < planes.height; y += band_rows) {
            const size_t want = static_cast<size_t>(std::min(band_rows, planes.height - y)) * row_bytes;
            if (!scatter_band(band, read_bulk(in, band, want), want, y, row_bytes, planes)) return;
        }
        return;
    }

    // Rows wider than the band buffer: each row in pieces.
    for (uint64_t y = 0; y < static_cast<uint64_t>(planes.height); ++y) {
        for (uint64_t done = 0; done < row_bytes;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(band_bytes, row_bytes - done));
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
