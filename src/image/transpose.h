// Moving samples from the file's row-major order into the column-major
// planes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion_records.h"

// The transposes may read this many bytes past the last row handed to
// them: a buffer of rows needs that much room at its end.
inline constexpr size_t kTransposeSlack = 16;

// Transposes `rows` complete rows, starting at row y0, into the planes.
void scatter_rows(const unsigned char* src, int32_t y0, int32_t rows, const ImagePlanes& planes);

// Stores n samples that start at sample number `first` of the file (file
// order: row by row, three samples per pixel). A null src stores -1s.
void scatter_samples(const unsigned char* src, size_t n, uint64_t first, const ImagePlanes& planes);

// The file ended at sample number `end`: every later sample is -1.
void fill_missing(uint64_t end, const ImagePlanes& planes);
