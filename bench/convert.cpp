// glowcam-bench convert: nanoseconds per pixel of the frame converter beside
// libyuv's I420ToRAW (the same R, G, B byte order) at 640x480 and 1920x1080,
// and milliseconds from a grabbed 640x480, 1280x720 or 1920x1080 frame to
// the texture (conversion and upload, offscreen GL).

#include "bench/bench.h"

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "capture/yuv.h"
#include "platform/message_box.h"
#include "platform/window.h"

#include <libyuv/convert_argb.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Frame {
    int w, h, cw, ch;
    std::vector<std::uint8_t> y, u, v;
};

Frame make_frame(int w, int h)
{
    Frame f{w, h, (w + 1) / 2, (h + 1) / 2, {}, {}, {}};
    f.y.resize(static_cast<std::size_t>(w) * h);
    f.u.resize(static_cast<std::size_t>(f.cw) * f.ch);
    f.v.resize(f.u.size());
    std::uint32_t s = 1;
    auto next = [&s] { s = s * 1664525u + 1013904223u; return static_cast<std::uint8_t>(s >> 24); };
    for (auto& b : f.y) b = next();
    for (auto& b : f.u) b = next();
    for (auto& b : f.v) b = next();
    return f;
}

// Best of several runs, each long enough to swamp the clock's resolution.
template <typename Fn>
double ns_per_pixel(const Frame& f, Fn&& convert)
{
    const double pixels = static_cast<double>(f.w) * f.h;
    int reps = std::max(1, static_cast<int>(30e6 / pixels));
    convert();
    double best = 1e30;
    for (int run = 0; run < 7; ++run) {
        auto t0 = Clock::now();
        for (int i = 0; i < reps; ++i)
            convert();
        double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
        best = std::min(best, ns / (reps * pixels));
    }
    return best;
}

bool bench_sizes()
{
    const int sizes[][2] = {{640, 480}, {1920, 1080}};
    bool exact = true;
    for (const auto& s : sizes) {
        Frame f = make_frame(s[0], s[1]);
        std::vector<std::uint8_t> ours(static_cast<std::size_t>(f.w) * f.h * 3);
        std::vector<std::uint8_t> theirs(ours.size());
        YuvPlanes planes{f.y.data(), f.u.data(), f.v.data(), f.w, f.cw, f.cw};
        double fast = ns_per_pixel(f, [&] { yuv_frame_to_rgb(planes, ours.data(), f.w * 3, f.w, f.h); });
        double scalar = ns_per_pixel(f, [&] {
            std::uint8_t* p = ours.data();
            for (int r = 0; r < f.h; ++r)
                for (int x = 0; x < f.w; ++x, p += 3) {
                    int c[3];
                    yuv_to_rgb(f.y[r * f.w + x], f.u[(r / 2) * f.cw + x / 2], f.v[(r / 2) * f.cw + x / 2],
                               &c[0], &c[1], &c[2]);
                    p[0] = static_cast<std::uint8_t>(c[0]);
                    p[1] = static_cast<std::uint8_t>(c[1]);
                    p[2] = static_cast<std::uint8_t>(c[2]);
                }
        });
        std::vector<std::uint8_t> reference = ours;
        double portable = ns_per_pixel(f, [&] { yuv_frame_to_rgb_portable(planes, ours.data(), f.w * 3, f.w, f.h); });
        double lib = ns_per_pixel(f, [&] {
            libyuv::I420ToRAW(f.y.data(), f.w, f.u.data(), f.cw, f.v.data(), f.cw, theirs.data(), f.w * 3, f.w, f.h);
        });
        yuv_frame_to_rgb(planes, ours.data(), f.w * 3, f.w, f.h);
        bool same = ours == reference;
        exact = exact && same;
        std::printf("convert %dx%d fast %.2f ns/px libyuv %.2f ns/px ratio %.2f\n", f.w, f.h, fast, lib, fast / lib);
        std::fflush(stdout);
        std::fprintf(stderr,
                     "  (%s path, %s to yuv_to_rgb; portable path %.2f ns/px; the scalar formula %.2f ns/px, "
                     "%.1f x libyuv)\n",
                     yuv_have_avx2() ? "AVX2" : "portable", same ? "bit-exact" : "NOT EQUAL", portable, scalar,
                     scalar / lib);
    }
    return exact;
}

// A source that opens at the size asked and gives no frames of its own: the
// benchmark hands the callback its frames.
int source_width = 0, source_height = 0;
const CaptureSource sized_source = {"benchmark", [](const std::string&, int* w, int* h) {
    *w = source_width;
    *h = source_height;
    return true;
}, [](double, CaptureFrame*) { return false; }, [] {}, false};

// From a frame in hand to its pixels in the texture: the callback uploads the
// previous frame and converts this one, so two callbacks and a finish.
void bench_grab_to_texture()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    message_box_use_stderr(true);
    if (!window_create("glowcam-bench", 640, 480, 32, false, 0)) {
        std::fprintf(stderr, "glowcam-bench: no offscreen GL context; skipping grab-to-texture\n");
        return;
    }
    message_box_set_hook([](const std::string&, const std::string&, MessageBoxKind) { return true; });
    capdrv_use_source(&sized_source);
    for (const auto& [w, h] : {std::pair{640, 480}, {1280, 720}, {1920, 1080}}) {
        source_width = w, source_height = h;
        if (!capture_connect(0))
            continue;
        std::vector<std::uint8_t> i420(i420_frame_bytes(w, h));
        pattern_draw(0, w, h, i420.data());
        CaptureFrame frame = capture_frame_i420(i420.data(), i420.size(), w, h);
        capture_frame_callback(frame);
        glFinish();
        double best = 1e30;
        for (int run = 0; run < 30; ++run) {
            auto t0 = Clock::now();
            capture_frame_callback(frame);
            glFinish();
            best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::printf("grab-to-texture %dx%d %.2f ms (conversion and upload, best of 30)\n", w, h, best);
        capture_disconnect();
        capture_shutdown();
    }
    capdrv_use_source(nullptr);
    message_box_set_hook(nullptr);
    window_destroy();
}

int bench_convert(int, char**)
{
    bool exact = bench_sizes();
    bench_grab_to_texture();
    return exact ? 0 : 1;
}

BenchRegistration reg("convert", bench_convert);

}  // namespace
