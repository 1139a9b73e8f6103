#pragma once

#include <cstdint>

// BT.601 studio-range YUV to RGB in 16.16 fixed point. The frame converters
// give exactly the bytes of yuv_to_rgb for every pixel.

void yuv_to_rgb(int y, int u, int v, int* r_out, int* g_out, int* b_out);

// Planar 4:2:0 (I420) to packed R, G, B. Chroma sample j of chroma row k serves
// rows 2k, 2k+1 and columns 2j, 2j+1; for odd sizes the last chroma row and
// column serve one frame row or column. Plane strides may exceed the width.
struct YuvPlanes {
    const std::uint8_t* y;
    const std::uint8_t* u;
    const std::uint8_t* v;
    int y_stride, u_stride, v_stride;
};

// The fastest path this CPU has.
void yuv_frame_to_rgb(const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width, int height);

// The two paths behind it, for tests and benchmarks. The AVX2 one may only be
// called when yuv_have_avx2() says so.
void yuv_frame_to_rgb_portable(const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width,
                               int height);
void yuv_frame_to_rgb_avx2(const YuvPlanes& src, std::uint8_t* rgb, int rgb_stride, int width,
                           int height);
bool yuv_have_avx2();
