#include "app/startup.h"

#include "core/rng.h"
#include "core/settings.h"
#include "platform/window.h"

#include <SDL.h>

bool window_open(const char* title)
{
    if (!window_create(title, screen_width, screen_height, color_bits, fullscreen))
        return false;
    fullscreen = window_full_screen();
    if (fullscreen)
        SDL_Delay(2000);  // let the monitor settle into the new mode
    return true;
}

void startup_reset()
{
    rng_seed(1234);
    window_keys_release();
}
