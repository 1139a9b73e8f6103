#include "app/main_loop.h"

#include "app/cmdline.h"
#include "app/frame_stats.h"
#include "app/startup.h"
#include "audio/audio.h"
#include "audio/live_input.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "platform/main_thread.h"
#include "platform/window.h"
#include "render/gl_state.h"
#include "show/composer.h"

#include <SDL.h>

namespace {
const int escape_key = 27;
const int window_failed = 255;  // -1 as an exit status
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
        if (window_key_pressed(escape_key))
            return escape_key;
        compose_frame();
        window_swap();
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

    // Capture and audio report their own failures; the show runs on without.
    capture_select_source(options.camera);
    capture_window_create();
    capture_connect(0);
    capture_grab_start(true, 62);

    if (options.audio_in.empty()) {
        audio_init();
        music_load(options.music);
    } else {
        live_input_open(options.audio_in);  // in place of the music: nothing played, no reverb
    }
    music_start();

    timer_init();
    show_clock_start();

    int code = main_loop();

    audio_shutdown();
    capture_disconnect();
    capture_shutdown();
    window_destroy();
    return code;
}
