#pragma once

#include <cstdint>
#include <cstdio>
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

// Frame f is solid colours[f], except that the first row of pixels carries
// `top` (so that the top of the picture can be told from the bottom).
inline bool write_y4m(const std::string& path, const std::string& header, int w, int h,
                      const std::vector<Y4mColour>& colours, Y4mColour top = {235, 128, 128},
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
                frame[r * w + x] = r == 0 ? top.y : colours[n].y;
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
