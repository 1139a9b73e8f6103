#include "capture/source.h"

#include <cmath>
#include <vector>

namespace {

constexpr int pattern_width = 640;
constexpr int pattern_height = 480;
std::vector<unsigned char> pattern_frame;

struct Yuv {
    unsigned char y, u, v;
};

// Full-intensity colour bars in studio range: white, yellow, cyan, green,
// magenta, red, blue, black.
constexpr Yuv bars[8] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                         {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};
constexpr Yuv disc_colour = {235, 128, 128};
constexpr Yuv disc_rim = {16, 128, 128};

// The picture at (px, py), in pixels of a width x height frame: bars over the
// top two thirds, a grey ramp below, and a disc on a slow Lissajous path.
struct Scene {
    double width, height, cx, cy, radius;

    Yuv at(double px, double py) const
    {
        double dx = px - cx, dy = py - cy;
        double d2 = dx * dx + dy * dy;
        if (d2 <= radius * radius)
            return d2 >= (radius * 0.85) * (radius * 0.85) ? disc_rim : disc_colour;
        if (py < height * 2.0 / 3.0) {
            int bar = static_cast<int>(px * 8.0 / width);
            return bars[bar < 0 ? 0 : (bar > 7 ? 7 : bar)];
        }
        double t = px / width;
        return {static_cast<unsigned char>(16.0 + 219.0 * (t < 0 ? 0 : (t > 1 ? 1 : t))), 128, 128};
    }
};

Scene scene_at(double show_ms, int width, int height)
{
    constexpr double pi = 3.14159265358979323846;
    double s = show_ms / 1000.0;
    Scene sc{static_cast<double>(width), static_cast<double>(height), 0, 0, 0};
    sc.radius = (width < height ? width : height) / 8.0;
    sc.cx = width / 2.0 + (width / 2.0 - sc.radius) * std::sin(2.0 * pi * s / 6.0);
    sc.cy = height / 2.0 + (height / 2.0 - sc.radius) * std::sin(2.0 * pi * s / 4.0);
    return sc;
}

bool pattern_open(const std::string&, int* width, int* height)
{
    pattern_frame.assign(i420_frame_bytes(pattern_width, pattern_height), 0);
    *width = pattern_width;
    *height = pattern_height;
    return true;
}

bool pattern_frame_at(double show_ms, CaptureFrame* out)
{
    if (pattern_frame.empty())
        return false;
    pattern_draw(show_ms, pattern_width, pattern_height, pattern_frame.data());
    *out = capture_frame_i420(pattern_frame.data(), pattern_frame.size(), pattern_width, pattern_height);
    return true;
}

void pattern_close() { std::vector<unsigned char>().swap(pattern_frame); }

}  // namespace

void pattern_draw(double show_ms, int width, int height, unsigned char* i420)
{
    if (width <= 0 || height <= 0)
        return;
    const Scene sc = scene_at(show_ms, width, height);
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    unsigned char* yp = i420;
    unsigned char* up = i420 + static_cast<std::size_t>(width) * height;
    unsigned char* vp = up + static_cast<std::size_t>(cw) * ch;
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x)
            yp[static_cast<std::size_t>(r) * width + x] = sc.at(x + 0.5, r + 0.5).y;
    // Each chroma sample takes the colour at the centre of the pixels it serves.
    for (int k = 0; k < ch; ++k) {
        for (int j = 0; j < cw; ++j) {
            Yuv c = sc.at(2.0 * j + 1.0, 2.0 * k + 1.0);
            up[static_cast<std::size_t>(k) * cw + j] = c.u;
            vp[static_cast<std::size_t>(k) * cw + j] = c.v;
        }
    }
}

const CaptureSource pattern_source = {"test", pattern_open, pattern_frame_at, pattern_close, true};
