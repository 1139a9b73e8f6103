// The pixel formula and the fast frame converters.

#include "capture/yuv.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

std::array<int, 3> pixel(int y, int u, int v)
{
    std::array<int, 3> rgb{};
    yuv_to_rgb(y, u, v, &rgb[0], &rgb[1], &rgb[2]);
    return rgb;
}

using Converter = void (*)(const YuvPlanes&, std::uint8_t*, int, int, int);

struct Path {
    const char* name;
    Converter fn;
    bool available;
};

std::vector<Path> paths()
{
    return {{"portable", yuv_frame_to_rgb_portable, true},
            {"avx2", yuv_frame_to_rgb_avx2, yuv_have_avx2()},
            {"dispatch", yuv_frame_to_rgb, true}};
}

}  // namespace

TEST(YuvToRgb, KnownPixelValues)
{
    using P = std::array<int, 3>;
    EXPECT_EQ(pixel(16, 128, 128), (P{0, 0, 0}));
    EXPECT_EQ(pixel(126, 128, 128), (P{128, 128, 128}));
    EXPECT_EQ(pixel(235, 128, 128), (P{254, 254, 254}));
    EXPECT_EQ(pixel(236, 128, 128), (P{255, 255, 255}));
    EXPECT_EQ(pixel(255, 128, 128), (P{255, 255, 255}));
    EXPECT_EQ(pixel(0, 128, 128), (P{0, 0, 0}));
    EXPECT_EQ(pixel(128, 0, 0), (P{0, 255, 0}));
    EXPECT_EQ(pixel(128, 255, 255), (P{255, 0, 255}));
}

TEST(YuvToRgb, ShiftRoundsTowardsMinusInfinity)
{
    // Y 17: s = 76282, plus 104593 * -1 = -28311, whose floor / 65536 is -1,
    // clamped to 0; G = (76282 + 53279) >> 16 = 1 (no rounding term).
    EXPECT_EQ(pixel(17, 128, 127), (std::array<int, 3>{0, 1, 1}));
    // Y 127 mid-grey: 76282 * 111 / 65536 = 129.2, truncated to 129.
    EXPECT_EQ(pixel(127, 128, 128), (std::array<int, 3>{129, 129, 129}));
}

// Every (Y, U, V) triple goes through each converter once: per U value a
// 256 x 256 frame whose 128 x 128 chroma samples carry every V 64 times, and
// whose 4 x 64 pixels under each V carry every Y once.
TEST(YuvFrameToRgb, AllTriplesMatchThePixelFormula)
{
    constexpr int w = 256, h = 256, cw = 128;
    std::vector<std::uint8_t> yp(w * h), up(cw * cw), vp(cw * cw), rgb(w * h * 3);
    std::array<int, 256 * 256 * 3> expected{};  // [v][y]
    for (const Path& path : paths()) {
        if (!path.available) {
            std::printf("skipping %s: not supported by this CPU\n", path.name);
            continue;
        }
        SCOPED_TRACE(path.name);
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v)
                for (int y = 0; y < 256; ++y)
                    yuv_to_rgb(y, u, v, &expected[(v * 256 + y) * 3], &expected[(v * 256 + y) * 3 + 1],
                               &expected[(v * 256 + y) * 3 + 2]);
            for (int c = 0; c < cw * cw; ++c) {
                up[c] = static_cast<std::uint8_t>(u);
                vp[c] = static_cast<std::uint8_t>(c / 64);
                int cr = c / cw, cc = c % cw;
                for (int k = 0; k < 4; ++k)
                    yp[(2 * cr + k / 2) * w + 2 * cc + k % 2] = static_cast<std::uint8_t>((c % 64) * 4 + k);
            }
            path.fn({yp.data(), up.data(), vp.data(), w, cw, cw}, rgb.data(), w * 3, w, h);
            int mismatches = 0;
            for (int r = 0; r < h; ++r) {
                for (int x = 0; x < w; ++x) {
                    int v = vp[(r / 2) * cw + x / 2], y = yp[r * w + x];
                    for (int ch = 0; ch < 3; ++ch)
                        if (rgb[(r * w + x) * 3 + ch] != expected[(v * 256 + y) * 3 + ch] && ++mismatches <= 5)
                            ADD_FAILURE() << "Y " << y << " U " << u << " V " << v << " channel " << ch
                                          << ": got " << int(rgb[(r * w + x) * 3 + ch]) << ", want "
                                          << expected[(v * 256 + y) * 3 + ch];
                }
            }
            ASSERT_EQ(mismatches, 0) << "U " << u;
        }
    }
}

// Odd sizes and padded strides: every pixel against the formula, and no byte
// written outside the frame's rows.
TEST(YuvFrameToRgb, OddSizesWithPaddedStrides)
{
    const int sizes[][2] = {{175, 143}, {1, 1}, {15, 3}, {16, 2}, {17, 5}, {33, 1}, {47, 9}, {640, 480}};
    for (const Path& path : paths()) {
        if (!path.available)
            continue;
        for (const auto& size : sizes) {
            int w = size[0], h = size[1];
            int cw = (w + 1) / 2, ch = (h + 1) / 2;
            int ys = w + 13, us = cw + 7, vs = cw + 29, rs = w * 3 + 5;
            SCOPED_TRACE(::testing::Message() << path.name << " " << w << "x" << h);
            std::vector<std::uint8_t> yp(ys * h), up(us * ch), vp(vs * ch);
            std::uint32_t seed = 12345u + w * 7 + h;
            auto next = [&seed] { seed = seed * 1664525u + 1013904223u; return static_cast<std::uint8_t>(seed >> 24); };
            for (auto& b : yp) b = next();
            for (auto& b : up) b = next();
            for (auto& b : vp) b = next();
            std::vector<std::uint8_t> rgb(rs * h, 0xA5);
            path.fn({yp.data(), up.data(), vp.data(), ys, us, vs}, rgb.data(), rs, w, h);
            for (int r = 0; r < h; ++r) {
                for (int x = 0; x < w; ++x) {
                    int e[3];
                    yuv_to_rgb(yp[r * ys + x], up[(r / 2) * us + x / 2], vp[(r / 2) * vs + x / 2], &e[0], &e[1], &e[2]);
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(rgb[r * rs + x * 3 + c], e[c]) << "row " << r << " column " << x;
                }
                for (int pad = w * 3; pad < rs; ++pad)
                    ASSERT_EQ(rgb[r * rs + pad], 0xA5) << "padding written in row " << r;
            }
        }
    }
}

// Rows 2k and 2k+1 read chroma row k; columns 2j and 2j+1 read sample j.
TEST(YuvFrameToRgb, ChromaIsSharedByPairsOfRowsAndColumns)
{
    constexpr int w = 40, h = 6, cw = 20, ch = 3;
    std::vector<std::uint8_t> yp(w * h, 126), up(cw * ch, 128), vp(cw * ch, 128);
    vp[1 * cw + 3] = 255;  // chroma row 1, sample 3: frame rows 2-3, columns 6-7 turn red
    std::vector<std::uint8_t> rgb(w * h * 3);
    const std::array<int, 3> grey = pixel(126, 128, 128), red = pixel(126, 128, 255);
    ASSERT_NE(grey, red);
    for (const Path& path : paths()) {
        if (!path.available)
            continue;
        SCOPED_TRACE(path.name);
        path.fn({yp.data(), up.data(), vp.data(), w, cw, cw}, rgb.data(), w * 3, w, h);
        for (int r = 0; r < h; ++r) {
            for (int x = 0; x < w; ++x) {
                bool in_sample = (r == 2 || r == 3) && (x == 6 || x == 7);
                const std::array<int, 3>& want = in_sample ? red : grey;
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(rgb[(r * w + x) * 3 + c], want[c]) << "row " << r << " column " << x;
            }
        }
    }
}
