#include "app/main_loop.h"

#include "app/controls.h"
#include "app/frame_stats.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "core/settings.h"
#include "platform/main_thread.h"
#include "platform/window.h"
#include "show/composer.h"

#include <SDL.h>

namespace {
const int escape_key = 27;
const int f11_key = 0x7A;
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
        if (window_key_pressed(f11_key))
            fullscreen = window_switch_full_screen();
        window_follow_size();
        controls_frame();
        compose_frame();
        controls_frame_drawn();
        live_outputs_present();
        stats.frame_done();
    }
}

int run_show(const Options& options)
{
    if (!controls_start(options))
        return 1;
    if (!show_startup(options, ShowMode::live)) {
        controls_stop();
        return window_failed;
    }
    if (!live_outputs_start(options)) {
        show_shutdown();
        controls_stop();
        return 1;
    }
    // A recording still ends as a whole file.
    window_on_display_lost(live_outputs_stop);
    int code = main_loop();
    live_outputs_stop();
    show_shutdown();
    controls_stop();
    return code;
}
