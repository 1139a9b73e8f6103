#include "app/startup.h"

#include "app/cmdline.h"
#include "audio/audio.h"
#include "audio/live_input.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "core/envelope.h"
#include "core/rng.h"
#include "core/settings.h"
#include "platform/window.h"
#include "render/gl_state.h"

#include <SDL.h>

bool window_open(const char* title)
{
    if (!window_create(title, screen_width, screen_height, color_bits, fullscreen, monitor_index))
        return false;
    fullscreen = window_full_screen();
    if (fullscreen)
        SDL_Delay(2000);  // let the monitor settle into the new mode
    return true;
}

void window_follow_size()
{
    int w = 0, h = 0;
    if (!window_size_changed(&w, &h))
        return;
    screen_width = w;
    screen_height = h > 0 ? h : 1;
    window_resize(screen_width, screen_height);
}

void startup_reset()
{
    rng_seed(1234);
    window_keys_release();
}

bool show_startup(const Options& options, ShowMode mode)
{
    const bool live = mode == ShowMode::live;
    if (!window_open("OpenGL framework"))
        return false;
    if (!gl_state_init()) {
        window_destroy();
        return false;
    }
    startup_reset();

    // Offline, each frame takes the picture of its own show time: no timer.
    capture_select_source(options.camera);
    capture_select_camera_size(options.camera_width, options.camera_height);
    if (live)
        capture_window_create();
    capture_connect(0);
    if (live)
        capture_grab_start(true, 62);

    if (options.audio_in.empty()) {
        audio_init();
        music_load(options.music);
    } else {
        live_input_open(options.audio_in);  // in place of the music: nothing played, no reverb
    }

    if (live) {
        music_start();
        timer_init();
        show_clock_start();
    } else {
        // The envelopes start at the first rendered frame, as if the show had
        // started there.
        env_reset_all();
        show_clock_use_manual(options.start * 1000.0);
    }
    return true;
}

void show_shutdown()
{
    audio_shutdown();
    capture_disconnect();
    capture_shutdown();
    window_destroy();
    show_clock_set_source(nullptr);  // an offline render leaves the real clock behind it
}
