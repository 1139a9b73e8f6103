// glowcam-bench frame: milliseconds per composed frame for each mode at the
// dialog's three sizes, beside a floor frame that makes the same clears,
// full-screen and quarter-screen copies and blended quads with trivial
// geometry. Each mode is timed at eight show times spread over its 25 s (one
// line each) and then as their mean. Offscreen (no display); the show clock
// is stepped, not read.

#include "bench/bench.h"

#include "audio/audio.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "core/envelope.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "render/gl_state.h"
#include "render/overlay.h"
#include "show/composer.h"
#include "show/feedback.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Size {
    int width, height;
};
constexpr Size sizes[] = {{640, 480}, {800, 600}, {1024, 768}};
constexpr int show_times = 8;
constexpr int warm_up_frames = 3;
constexpr int measured_frames = 10;
constexpr double frame_step_ms = 40.0;

// The fill each mode's frame cannot avoid: the clear, its full-screen layers
// as plain quads, the inversion pulse in mode 0 and the whole feedback zoom.
void floor_frame(int mode)
{
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, video_texture);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (mode == 1)
        glBlendFunc(GL_ONE, GL_ZERO);  // the kaleidoscope replaces what is there
    textured_quad(0.0f, 1.0f, 1.0f, 0.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (mode == 0)
        invert_overlay(0.7f);
    feedback_zoom(2.0f, 2.0f, 0.0f, 0.3f, 6, 0.25f);
    glPopAttrib();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double time_ms(F&& draw)
{
    auto start = std::chrono::steady_clock::now();
    draw();
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Median times of the show's frame and the floor's from show time at_s on.
bool time_show_at(double at_s, int mode, double* show_ms, double* floor_ms)
{
    env_reset_all();
    double ms = at_s * 1000.0;
    show_clock_use_manual(ms);
    std::vector<double> show, floor;
    for (int i = 0; i < warm_up_frames + measured_frames; ++i) {
        show_clock_set_manual(ms);
        ms += frame_step_ms;
        // Alternating the two keeps drifts in machine load fair to both.
        double s = time_ms([] { compose_frame(); });
        double f = time_ms([mode] { floor_frame(mode); });
        if (i >= warm_up_frames) {
            show.push_back(s);
            floor.push_back(f);
        }
    }
    *show_ms = median(show);
    *floor_ms = median(floor);
    if (frame_mode != mode) {
        std::fprintf(stderr, "glowcam-bench: drew mode %d for mode %d\n", frame_mode, mode);
        return false;
    }
    return true;
}

int run_frame_bench(int, char**)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    message_box_use_stderr(true);
    // One surface of the largest size; smaller sizes draw into its corner
    // through the viewport, as a window of that size would.
    if (!window_create("glowcam-bench", 1024, 768, 32, false, 0)) {
        std::fprintf(stderr, "glowcam-bench: cannot open an offscreen GL window\n");
        return 1;
    }
    gl_state_init();
    feedback_forget_textures();
    // A still frame of the test pattern as the video, and a moderate bass so
    // the feedback passes draw something.
    capture_select_source("test");
    capture_connect(0);
    capture_render_frame(0.0);
    spectrum[1].store(0.3f, std::memory_order_relaxed);

    int code = 0;
    for (const Size& size : sizes) {
        window_resize(size.width, size.height);
        screen_width = size.width;
        screen_height = size.height;
        for (int mode = 0; mode < 3; ++mode) {
            double show_sum = 0.0, floor_sum = 0.0;
            for (int k = 0; k < show_times; ++k) {
                // Slot 0 running; in mode 0 both halves of the box refresh
                // period and the field near and far from the camera.
                double at_s = mode * 25.0 + (k + 0.5) * 25.0 / show_times;
                double s = 0.0, f = 0.0;
                if (!time_show_at(at_s, mode, &s, &f))
                    code = 1;
                std::printf("  at %5.2f s %dx%d %.1f ms floor %.1f ms ratio %.2f\n", at_s, size.width,
                            size.height, s, f, s / f);
                show_sum += s;
                floor_sum += f;
            }
            double s = show_sum / show_times, f = floor_sum / show_times;
            std::printf("frame mode %d %dx%d %.1f ms floor %.1f ms ratio %.2f\n", mode, size.width,
                        size.height, s, f, s / f);
            std::fflush(stdout);
        }
    }

    show_clock_set_source(nullptr);
    capture_disconnect();
    capture_shutdown();
    window_destroy();
    return code;
}

BenchRegistration reg("frame", run_frame_bench);

}  // namespace
