// In-process timings of the converter's hot paths: reading PPMs into the
// planes, building threshold matrices, rendering each mode's dump; and
// the library's MODE 7 converter, a whole page.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "image/ppm.h"
#include "lib/teletext/teletext.h"
#include "screen/halftone.h"
#include "screen/modes.h"
#include "screen/conversion.h"
#include "screen/writer.h"

namespace {

std::string g_directory;

// A picture from make_inputs' generator would be nicer, but the hot paths
// do not depend on content; a pattern with every byte value will do.
std::string picture_path(int width, int height) {
    const std::string path = g_directory + "/" + std::to_string(width) + "x" + std::to_string(height) + ".ppm";
    if (access(path.c_str(), R_OK) == 0) return path;
    FILE* file = fopen(path.c_str(), "wb");
    fprintf(file, "P6\n%d %d\n255\n", width, height);
    for (long i = 0; i < 3L * width * height; ++i) fputc(static_cast<int>((i * 7 + i / 977) & 0xFF), file);
    fclose(file);
    return path;
}

void BM_ReadPpm(benchmark::State& state) {
    const std::string path = picture_path(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ImagePlanes planes{};
    for (auto _ : state) {
        if (!read_ppm(path.c_str(), planes)) state.SkipWithError("read failed");
        release_planes(planes);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * state.range(1) * 3);
}
BENCHMARK(BM_ReadPpm)->Args({320, 256})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

void BM_BuildThresholdMatrix(benchmark::State& state) {
    ThresholdMatrix matrix;
    for (auto _ : state) {
        build_threshold_matrix(static_cast<HalftoneType>(state.range(0)), matrix);
        benchmark::DoNotOptimize(matrix);
    }
}
BENCHMARK(BM_BuildThresholdMatrix)->DenseRange(0, 4);

void BM_RenderScreen(benchmark::State& state) {
    const std::string path = picture_path(320, 256);
    ImagePlanes planes{};
    if (!read_ppm(path.c_str(), planes)) return state.SkipWithError("read failed");
    const ConversionOptions options{static_cast<int32_t>(state.range(0)), kHalftoneFine, state.range(1) != 0,
                                    state.range(1) != 0};
    ThresholdMatrix matrix;
    build_threshold_matrix(options.halftone, matrix);
    uint8_t screen[kMaxScreenBytes];
    for (auto _ : state) {
        render_screen(options, planes, matrix, screen);
        benchmark::DoNotOptimize(screen);
    }
    release_planes(planes);
}
BENCHMARK(BM_RenderScreen)
    ->ArgsProduct({{0, 1, 2, 4, 5}, {0, 1}})
    ->ArgNames({"mode", "aspect_stagger"})
    ->Unit(benchmark::kMicrosecond);

// One 320 x 256 picture from file to dump in memory, as the batch does it.
void BM_ReadAndRender320x256(benchmark::State& state) {
    const std::string path = picture_path(320, 256);
    const ConversionOptions options{2, kHalftoneFine, false, true};
    ImagePlanes planes{};
    ThresholdMatrix matrix;
    uint8_t screen[kMaxScreenBytes];
    for (auto _ : state) {
        if (!read_ppm(path.c_str(), planes)) state.SkipWithError("read failed");
        build_threshold_matrix(options.halftone, matrix);
        render_screen(options, planes, matrix, screen);
        release_planes(planes);
        benchmark::DoNotOptimize(screen);
    }
}
BENCHMARK(BM_ReadAndRender320x256)->Unit(benchmark::kMicrosecond);

// A teletext page from a picture's light: colour ramps across and down
// with a ripple, so rows differ and every colour has its use.
void BM_TeletextPage(benchmark::State& state) {
    std::vector<uint16_t> light(static_cast<size_t>(kTeletextWidth) * kTeletextHeight * 3);
    for (int32_t y = 0; y < kTeletextHeight; ++y)
        for (int32_t x = 0; x < kTeletextWidth; ++x) {
            uint16_t* p = &light[(static_cast<size_t>(y) * kTeletextWidth + static_cast<size_t>(x)) * 3];
            p[0] = static_cast<uint16_t>(x * 102);
            p[1] = static_cast<uint16_t>(y * 131);
            p[2] = static_cast<uint16_t>(((x + y) * 37 + (x * y) % 997 * 20) % 65536);
        }
    uint8_t page[kTeletextPageBytes];
    for (auto _ : state) {
        if (!teletext_page_from_light(light.data(), page)) state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(page);
    }
}
BENCHMARK(BM_TeletextPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/tarnvil-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    g_directory = pattern;
    // The reader reports on standard output; the results go to standard error.
    if (!freopen("/dev/null", "w", stdout)) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::system(("rm -rf " + g_directory).c_str());
    return 0;
}
