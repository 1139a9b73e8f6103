#include "capture/yuv.h"

#include <immintrin.h>

namespace {

// The 16.16 factors of BT.601 studio range: 1.164, 1.596, 0.813, 0.391, 2.018.
constexpr int k_y = 76282;
constexpr int k_rv = 104593;
constexpr int k_gv = 53279;
constexpr int k_gu = 25624;
constexpr int k_bu = 132249;

inline std::uint8_t clamp_byte(int c) { return static_cast<std::uint8_t>(c < 0 ? 0 : (c > 255 ? 255 : c)); }

// Pixels [x0, width) of one row, with the chroma terms computed once per pair.
inline void convert_row_scalar(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v,
                               std::uint8_t* rgb, int x0, int width)
{
    for (int x = x0; x < width; ++x) {
        int cu = u[x >> 1] - 128;
        int cv = v[x >> 1] - 128;
        int s = k_y * (y[x] - 16);
        rgb[3 * x + 0] = clamp_byte((s + k_rv * cv) >> 16);
        rgb[3 * x + 1] = clamp_byte((s - k_gv * cv - k_gu * cu) >> 16);
        rgb[3 * x + 2] = clamp_byte((s + k_bu * cu) >> 16);
    }
}

void convert_row_portable(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v,
                          std::uint8_t* rgb, int width)
{
    int x = 0;
    for (; x + 1 < width; x += 2) {
        int cu = u[x >> 1] - 128;
        int cv = v[x >> 1] - 128;
        int rc = k_rv * cv;
        int gc = -k_gv * cv - k_gu * cu;
        int bc = k_bu * cu;
        int s0 = k_y * (y[x] - 16);
        int s1 = k_y * (y[x + 1] - 16);
        std::uint8_t* p = rgb + 3 * x;
        p[0] = clamp_byte((s0 + rc) >> 16);
        p[1] = clamp_byte((s0 + gc) >> 16);
        p[2] = clamp_byte((s0 + bc) >> 16);
        p[3] = clamp_byte((s1 + rc) >> 16);
        p[4] = clamp_byte((s1 + gc) >> 16);
        p[5] = clamp_byte((s1 + bc) >> 16);
    }
    convert_row_scalar(y, u, v, rgb, x, width);
}

// 16 pixels per step in 32-bit lanes, so the products are the same integers
// as the scalar formula. Sums shifted by 16 stay within -224..480, so the
// saturating packs do the clamp to 0..255.
__attribute__((target("avx2"))) void convert_row_avx2(const std::uint8_t* y, const std::uint8_t* u,
                                                      const std::uint8_t* v, std::uint8_t* rgb,
                                                      int width)
{
    const __m256i y_off = _mm256_set1_epi32(16);
    const __m256i c_off = _mm256_set1_epi32(128);
    const __m256i f_y = _mm256_set1_epi32(k_y);
    const __m256i f_rv = _mm256_set1_epi32(k_rv);
    const __m256i f_gv = _mm256_set1_epi32(-k_gv);
    const __m256i f_gu = _mm256_set1_epi32(-k_gu);
    const __m256i f_bu = _mm256_set1_epi32(k_bu);
    const __m256i dup_lo = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i dup_hi = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    // Per 128-bit lane: RG holds R0..R7 then G0..G7, B holds B0..B7; out0 is
    // bytes 0..15 of the eight pixels' R,G,B and out1 bytes 16..23.
    const __m256i m0_rg = _mm256_setr_epi8(0, 8, -1, 1, 9, -1, 2, 10, -1, 3, 11, -1, 4, 12, -1, 5,
                                           0, 8, -1, 1, 9, -1, 2, 10, -1, 3, 11, -1, 4, 12, -1, 5);
    const __m256i m0_b = _mm256_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1,
                                          -1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1);
    const __m256i m1_rg = _mm256_setr_epi8(13, -1, 6, 14, -1, 7, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                           13, -1, 6, 14, -1, 7, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i m1_b = _mm256_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, -1, -1, -1, -1, -1, -1,
                                          -1, 5, -1, -1, 6, -1, -1, 7, -1, -1, -1, -1, -1, -1, -1, -1);

    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i yb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        __m256i y_lo = _mm256_sub_epi32(_mm256_cvtepu8_epi32(yb), y_off);
        __m256i y_hi = _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_srli_si128(yb, 8)), y_off);
        __m256i s_lo = _mm256_mullo_epi32(y_lo, f_y);
        __m256i s_hi = _mm256_mullo_epi32(y_hi, f_y);

        __m256i cu = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + (x >> 1)))), c_off);
        __m256i cv = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + (x >> 1)))), c_off);
        __m256i rc = _mm256_mullo_epi32(cv, f_rv);
        __m256i gc = _mm256_add_epi32(_mm256_mullo_epi32(cv, f_gv), _mm256_mullo_epi32(cu, f_gu));
        __m256i bc = _mm256_mullo_epi32(cu, f_bu);

        __m256i r_lo = _mm256_srai_epi32(_mm256_add_epi32(s_lo, _mm256_permutevar8x32_epi32(rc, dup_lo)), 16);
        __m256i r_hi = _mm256_srai_epi32(_mm256_add_epi32(s_hi, _mm256_permutevar8x32_epi32(rc, dup_hi)), 16);
        __m256i g_lo = _mm256_srai_epi32(_mm256_add_epi32(s_lo, _mm256_permutevar8x32_epi32(gc, dup_lo)), 16);
        __m256i g_hi = _mm256_srai_epi32(_mm256_add_epi32(s_hi, _mm256_permutevar8x32_epi32(gc, dup_hi)), 16);
        __m256i b_lo = _mm256_srai_epi32(_mm256_add_epi32(s_lo, _mm256_permutevar8x32_epi32(bc, dup_lo)), 16);
        __m256i b_hi = _mm256_srai_epi32(_mm256_add_epi32(s_hi, _mm256_permutevar8x32_epi32(bc, dup_hi)), 16);

        // packs works per lane; the permute puts pixels 0..7 in lane 0 and 8..15 in lane 1.
        __m256i r16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(r_lo, r_hi), 0xD8);
        __m256i g16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(g_lo, g_hi), 0xD8);
        __m256i b16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(b_lo, b_hi), 0xD8);
        __m256i rg8 = _mm256_packus_epi16(r16, g16);
        __m256i b8 = _mm256_packus_epi16(b16, b16);

        __m256i out0 = _mm256_or_si256(_mm256_shuffle_epi8(rg8, m0_rg), _mm256_shuffle_epi8(b8, m0_b));
        __m256i out1 = _mm256_or_si256(_mm256_shuffle_epi8(rg8, m1_rg), _mm256_shuffle_epi8(b8, m1_b));
        std::uint8_t* p = rgb + 3 * x;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(out0));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_castsi256_si128(out1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 24), _mm256_extracti128_si256(out0, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 40), _mm256_extracti128_si256(out1, 1));
    }
    convert_row_scalar(y, u, v, rgb, x, width);
}

using RowFn = void (*)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, std::uint8_t*, int);

void convert_frame(RowFn row, const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width,
                   int height)
{
    if (width <= 0 || height <= 0)
        return;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* y = src.y + static_cast<std::ptrdiff_t>(r) * src.y_stride;
        const std::uint8_t* u = src.u + static_cast<std::ptrdiff_t>(r >> 1) * src.u_stride;
        const std::uint8_t* v = src.v + static_cast<std::ptrdiff_t>(r >> 1) * src.v_stride;
        row(y, u, v, rgb + static_cast<std::ptrdiff_t>(r) * rgb_stride, width);
    }
}

}  // namespace

void yuv_to_rgb(int y, int u, int v, int* r_out, int* g_out, int* b_out)
{
    int s = k_y * (y - 16);
    int r = (s + k_rv * (v - 128)) >> 16;
    int g = (s - k_gv * (v - 128) - k_gu * (u - 128)) >> 16;
    int b = (s + k_bu * (u - 128)) >> 16;
    *r_out = clamp_byte(r);
    *g_out = clamp_byte(g);
    *b_out = clamp_byte(b);
}

bool yuv_have_avx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

void yuv_frame_to_rgb_portable(const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width,
                               int height)
{
    convert_frame(convert_row_portable, src, rgb, rgb_stride, width, height);
}

void yuv_frame_to_rgb_avx2(const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width,
                           int height)
{
    convert_frame(convert_row_avx2, src, rgb, rgb_stride, width, height);
}

void yuv_frame_to_rgb(const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width, int height)
{
    convert_frame(yuv_have_avx2() ? convert_row_avx2 : convert_row_portable, src, rgb, rgb_stride,
                  width, height);
}
