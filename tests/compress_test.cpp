// Packed screens: the compressor and the in-place decoder together on real
// dumps and on data made to be hard, and the decoder on a stream written
// out by hand and on broken streams. The 6502 routine's bytes against its
// source, where the build assembled it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "lib/disc/compress.h"
#include "lib/disc/unpack.h"
#include "support.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

// A photograph-like picture: smooth ramps with grain, for tarnvil's dumps.
std::string photo_ppm() {
    std::string pixels;
    uint32_t seed = 1;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 320; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int grain = static_cast<int>(seed >> 27) - 16;
            for (int c : {x * 255 / 319, y, 255 - (x + y) / 3}) pixels += static_cast<char>(std::clamp(c + grain, 0, 255));
        }
    return make_ppm(320, 256, pixels);
}

Bytes dump_of(const char* argument) {
    const std::string ppm = photo_ppm();
    ConvertedPicture converted;
    convert_picture(argument, reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(), no_messages(), converted);
    return Bytes(converted.files.dump, converted.files.dump + converted.files.dump_size);
}

Bytes filled(size_t size, uint32_t seed, int kind) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint8_t noise = static_cast<uint8_t>(seed >> 24);
        bytes[i] = kind == 0 ? 0 : kind == 1 ? noise : kind == 2 ? static_cast<uint8_t>(i % 640 < 320 ? i & 7 : noise & 3)
                                                                  : static_cast<uint8_t>(noise < 200 ? 0x0F : noise);
    }
    return bytes;
}

Bytes packed_of(const Bytes& screen) {
    Bytes packed(screen.size());
    const int32_t size = pack_screen(screen.data(), static_cast<int32_t>(screen.size()), packed.data());
    packed.resize(size < 0 ? 0 : static_cast<size_t>(size));
    return packed;
}

}  // namespace

TEST(Packing, RoundTripsWithinBounds) {
    const struct {
        const char* name;
        Bytes screen;
        size_t size;  // whole pages, or the screen's own size
    } cases[] = {
        {"MODE 0 halftone", dump_of("-h10pic.ppm"), 2816},
        {"MODE 1 halftone", dump_of("-h31pic.ppm"), 5120},
        {"MODE 2 ordered", dump_of("-h42pic.ppm"), 5376},
        {"MODE 4", dump_of("-h24pic.ppm"), 2560},
        {"MODE 5 staggered", dump_of("-hs35pic.ppm"), 2048},
        {"blank MODE 1 screen: matches of at most 256", filled(20480, 1, 0), 256},
        {"noise: stored as it is", filled(20480, 2, 1), 20480},
        {"noise, MODE 5 size", filled(10240, 3, 1), 10240},
        {"patterns between noise: literals past 255", filled(20480, 4, 2), 4352},
        {"runs broken by noise", filled(10240, 5, 3), 4096},
        {"one byte", filled(1, 6, 1), 1},
        {"three zeros: no page to save", filled(3, 7, 0), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.screen.empty());
        const Bytes packed = packed_of(c.screen);
        EXPECT_EQ(packed.size(), c.size);
        Bytes unpacked(c.screen.size(), 0xAA);
        ASSERT_TRUE(unpack_screen(packed.data(), static_cast<int32_t>(packed.size()), unpacked.data(),
                                  static_cast<int32_t>(unpacked.size())));
        EXPECT_EQ(unpacked, c.screen);
        // A page short, or a byte short, the file no longer unpacks to
        // this screen: the decoder notices or differs.
        for (size_t cut : {size_t{256}, size_t{1}}) {
            if (cut >= packed.size()) continue;
            Bytes shorter(unpacked.size());
            if (unpack_screen(packed.data() + cut, static_cast<int32_t>(packed.size() - cut), shorter.data(),
                              static_cast<int32_t>(shorter.size()))) {
                EXPECT_NE(shorter, c.screen);
            }
        }
    }
}

// "AB" 256 times, 512 bytes, in a page: the first byte, 246, counts the
// padding after it; then the stream. Literals n = 2 (bits 001), A, B; a new
// match (1) with h = 1 (1) and l = 1, offset 2; n = 255 (0101010101010 11),
// 256 bytes; a new match (1), h = 1 (1), l = 1, n = 253 (01010101010001 1),
// 254 bytes, which meet the read position at the screen's end. Bit bytes
// come as bits are wanted: 0x3A before the literals, 0xAA and 0xBD within
// the first match's n, after its l, 0x55 and 0x18 likewise.
TEST(Packing, StreamByHand) {
    const Bytes stream = {0x3A, 'A', 'B', 0xFE, 0xAA, 0xBD, 0xFE, 0x55, 0x18};
    Bytes file(256, 0);
    file[0] = 246;
    std::copy(stream.begin(), stream.end(), file.end() - 9);
    Bytes screen(512);
    ASSERT_TRUE(unpack_screen(file.data(), 256, screen.data(), 512));
    Bytes pattern(512);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = i % 2 ? 'B' : 'A';
    EXPECT_EQ(screen, pattern);
    EXPECT_EQ(packed_of(pattern), file);
    // A repeat (0) before any match, a match reaching back before the
    // screen (offset 3), a file not of whole pages and a screen the stream
    // writes past are refused.
    Bytes repeat_first = file;
    repeat_first[247] = 0x2A;
    Bytes before_start = file;
    before_start[250] = 0xFD;
    EXPECT_FALSE(unpack_screen(repeat_first.data(), 256, screen.data(), 512));
    EXPECT_FALSE(unpack_screen(before_start.data(), 256, screen.data(), 512));
    EXPECT_FALSE(unpack_screen(file.data() + 1, 255, screen.data(), 512));
    EXPECT_FALSE(unpack_screen(file.data(), 256, screen.data(), 300));
}

// The routine's file: page &09 shows the picture, page &0A unpacks it, at
// most 256 bytes of 6502.
TEST(Packing, AssembledRoutineMatchesItsBytes) {
    EXPECT_LE(kUnpackCodeSize - kUnpackerStart, 256);
    EXPECT_LE(kUnpackCodeSize, 512);
#ifdef TARNVIL_UNPACK_BIN
    const auto assembled = read_file(TARNVIL_UNPACK_BIN);
    ASSERT_TRUE(assembled);
    EXPECT_EQ(*assembled, std::string(reinterpret_cast<const char*>(kUnpackCode), kUnpackCodeSize));
#else
    const char* ci = getenv("CI");
    if (ci && strcmp(ci, "true") == 0) FAIL() << "CI builds assemble src/lib/disc/unpack.s: install acme";
    GTEST_SKIP() << "acme is not installed: src/lib/disc/unpack.s is not assembled and compared";
#endif
}
