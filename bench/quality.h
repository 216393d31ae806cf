// What the quality benchmarks share: pictures as the bytes of a file, as
// tarnvil-fit is given them, and how their errors are shown.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "lib/fit/fit.h"
#include "screen/modes.h"

struct Source {
    const char* name = "";
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// The whole file at `path` into `source`'s bytes. False when it cannot be
// read or is empty.
inline bool read_file(const char* path, Source& source) {
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    bool ok = fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? ftell(file) : -1;
    ok = size > 0 && fseek(file, 0, SEEK_SET) == 0;
    if (ok) source.bytes.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
    ok = ok && source.bytes && fread(source.bytes.get(), 1, static_cast<size_t>(size), file) == static_cast<size_t>(size);
    fclose(file);
    source.size = ok ? static_cast<size_t>(size) : 0;
    return ok;
}

// The samples of a PPM `width` pixels across.
inline const uint8_t* samples_of(const PpmBytes& ppm, int32_t width) {
    return ppm.data.get() + ppm.size - static_cast<size_t>(width) * kScreenLines * 3;
}

// tarnvil-fit's work on `source`; what stops it is told as `program`'s.
inline bool fit(const char* program, const Source& source, const FitSettings& settings, PpmBytes& ppm) {
    char reason[256];
    if (fit_file(source.bytes.get(), source.size, settings, ppm, reason, sizeof reason)) return true;
    fprintf(stderr, "%s: %s: %s\n", program, source.name, reason);
    return false;
}

// The root of the mean squared difference per sample of a screen `width`
// pixels across, in percent of full light: the blur's sums are of nine
// samples.
inline double rms_percent(uint64_t error, int32_t width) {
    const double samples = double(width) * kScreenLines * 3;
    return std::sqrt(double(error) / (81.0 * samples)) / 65535.0 * 100.0;
}

inline double ratio(uint64_t error, uint64_t against) { return against ? double(error) / double(against) : 0.0; }

// Sorts `values`.
inline double median(double* values, int count) {
    std::sort(values, values + count);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}
