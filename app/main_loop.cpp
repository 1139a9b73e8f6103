#include "app/main_loop.h"

#include "app/clock.h"
#include "app/cmdline.h"
#include "app/outputs.h"
#include "app/rng.h"
#include "app/window.h"
#include "audio/audio.h"
#include "capture/capture.h"
#include "platform/main_thread.h"
#include "render/gl_state.h"
#include "show/composer.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const int escape_key = 27;
const int window_failed = 255;  // -1 as an exit status

// A diagnostic for soak tests: with GLOWCAM_FRAME_STATS naming a file, the
// loop appends one line a second, "SECONDS FRAMES LONGEST_GAP_MS", the frames
// drawn in that second and the longest time between two of them.
struct FrameStats {
    using clock = std::chrono::steady_clock;
    std::FILE* file = nullptr;
    clock::time_point start, second, last;
    long frames = 0;
    double longest_ms = 0.0;

    FrameStats()
    {
        const char* path = std::getenv("GLOWCAM_FRAME_STATS");
        if (path && *path && (file = std::fopen(path, "a")) == nullptr)
            std::fprintf(stderr, "glowcam: cannot write frame statistics to %s\n", path);
        start = second = last = clock::now();
    }
    ~FrameStats()
    {
        if (file)
            std::fclose(file);
    }
    void frame_done()
    {
        if (!file)
            return;
        clock::time_point now = clock::now();
        longest_ms = std::max(longest_ms, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        ++frames;
        if (now - second >= std::chrono::seconds(1)) {
            std::fprintf(file, "%.3f %ld %.1f\n", std::chrono::duration<double>(now - start).count(),
                         frames, longest_ms);
            std::fflush(file);
            second = now;
            frames = 0;
            longest_ms = 0.0;
        }
    }
};
}

void startup_reset()
{
    rng_seed(1234);
    std::memset(keys, 0, sizeof keys);
}

int main_loop()
{
    FrameStats stats;
    for (;;) {
        SDL_Event ev;
        // While minimised nothing is drawn, so wait for events instead of
        // polling; the short time-out keeps the loop responsive.
        bool got = window_active ? SDL_PollEvent(&ev) == 1 : SDL_WaitEventTimeout(&ev, 10) == 1;
        if (got) {
            if (ev.type == SDL_QUIT)
                return 0;
            if (!main_thread_dispatch(ev))
                window_proc(ev);
            continue;
        }
        if (!window_active)
            continue;
        if (keys[escape_key])
            return escape_key;
        compose_frame();
        live_outputs_present();
        stats.frame_done();
    }
}

int run_show(const Options& options)
{
    if (!window_open("OpenGL framework"))
        return window_failed;
    if (!gl_state_init()) {
        window_destroy();
        return window_failed;
    }
    startup_reset();
    if (!live_outputs_start(options)) {
        window_destroy();
        return 1;
    }

    // Capture and audio report their own failures; the show runs on without.
    capture_select_source(options.camera);
    capture_window_create();
    capture_connect(0);
    capture_grab_start(true, 62);

    audio_init();
    music_load(options.music);
    music_start();

    timer_init();
    show_clock_start();

    int code = main_loop();
    live_outputs_stop();

    audio_shutdown();
    capture_disconnect();
    capture_shutdown();
    window_destroy();
    return code;
}
