// Writes photograph-like binary PPM files for the benchmarks: smooth
// lighting, a horizon, blobs of colour and grain, different for every seed.
//
//   make_inputs WIDTH HEIGHT COUNT PREFIX
//
// writes PREFIX0000.ppm, PREFIX0001.ppm, ... (or PREFIX.ppm when COUNT is 1).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "random.h"

namespace {

uint8_t clamp(double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

bool write_picture(const char* path, int width, int height, uint64_t seed) {
    Random random{seed * 0x9E3779B97F4A7C15ull + 1};
    const double horizon = height * (0.35 + 0.3 * random.unit());
    const double sky[3] = {40 + 80 * random.unit(), 80 + 100 * random.unit(), 150 + 100 * random.unit()};
    const double ground[3] = {60 + 120 * random.unit(), 50 + 100 * random.unit(), 20 + 60 * random.unit()};
    struct Blob {
        double x, y, radius, colour[3];
    };
    std::vector<Blob> blobs(6);
    for (Blob& b : blobs) {
        b = {random.unit() * width, random.unit() * height, (0.05 + 0.2 * random.unit()) * width, {}};
        for (double& c : b.colour) c = 255 * random.unit();
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    fprintf(file, "P6\n%d %d\n255\n", width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double light = 0.7 + 0.3 * std::sin(x * 6.0 / width + seed) * std::cos(y * 4.0 / height);
            double c[3];
            for (int k = 0; k < 3; ++k) {
                const double t = y < horizon ? y / horizon : (y - horizon) / (height - horizon + 1);
                c[k] = (y < horizon ? sky[k] * (0.6 + 0.4 * t) : ground[k] * (1.1 - 0.5 * t)) * light;
            }
            for (const Blob& b : blobs) {
                const double d = std::hypot(x - b.x, y - b.y) / b.radius;
                if (d < 1) {
                    const double w = (1 - d) * (1 - d);
                    for (int k = 0; k < 3; ++k) c[k] = c[k] * (1 - w) + b.colour[k] * w;
                }
            }
            const double grain = (random.unit() - 0.5) * 24;
            for (int k = 0; k < 3; ++k) row[static_cast<size_t>(x) * 3 + static_cast<size_t>(k)] = clamp(c[k] + grain);
        }
        fwrite(row.data(), 1, row.size(), file);
    }
    return fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: make_inputs WIDTH HEIGHT COUNT PREFIX\n", stderr);
        return 2;
    }
    const int width = atoi(argv[1]);
    const int height = atoi(argv[2]);
    const int count = atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        char path[4096];
        if (count == 1)
            snprintf(path, sizeof path, "%s.ppm", argv[4]);
        else
            snprintf(path, sizeof path, "%s%04d.ppm", argv[4], i);
        if (!write_picture(path, width, height, static_cast<uint64_t>(i) + 1)) {
            perror(path);
            return 1;
        }
    }
    return 0;
}
