#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Writes small YUV4MPEG2 files for the capture tests.
struct Y4mColour {
    std::uint8_t y, u, v;
};

inline std::string y4m_test_path(const std::string& name)
{
    return ::testing::TempDir() + "glowcam_capture_" + name + ".y4m";
}

// Luma of frame n at (row, column); the chroma of frame n is solid.
using LumaFn = std::function<std::uint8_t(int n, int row, int column)>;

// Frame n has the chroma of colours[n] and the luma luma(n, row, column).
// The last frame can be cut short by some bytes.
inline bool write_y4m_fn(const std::string& path, const std::string& header, int w, int h,
                         const std::vector<Y4mColour>& colours, const LumaFn& luma,
                         std::size_t cut_last_frame_by = 0)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "%s\n", header.c_str());
    int cw = (w + 1) / 2, ch = (h + 1) / 2;
    for (std::size_t n = 0; n < colours.size(); ++n) {
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(w) * h + 2 * cw * ch);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x)
                frame[r * w + x] = luma(static_cast<int>(n), r, x);
        for (int i = 0; i < cw * ch; ++i) {
            frame[w * h + i] = colours[n].u;
            frame[w * h + cw * ch + i] = colours[n].v;
        }
        std::size_t bytes = frame.size();
        if (n + 1 == colours.size() && cut_last_frame_by < bytes)
            bytes -= cut_last_frame_by;
        std::fputs("FRAME\n", f);
        std::fwrite(frame.data(), 1, bytes, f);
    }
    return std::fclose(f) == 0;
}

// Solid frames, except that the first row carries `top` (so that the top of
// the picture can be told from the bottom).
inline bool write_y4m(const std::string& path, const std::string& header, int w, int h,
                      const std::vector<Y4mColour>& colours, Y4mColour top = {235, 128, 128},
                      std::size_t cut_last_frame_by = 0)
{
    return write_y4m_fn(
        path, header, w, h, colours,
        [&](int n, int r, int) { return r == 0 ? top.y : colours[n].y; }, cut_last_frame_by);
}
