#pragma once

union SDL_Event;

// The show's one window and its OpenGL context (SDL2, compatibility profile,
// double buffered, 16-bit depth). Main thread only. The window knows nothing
// of the show's settings: the program hands it the size and full-screen
// choice and reads back what it got.

extern unsigned char keys[256];  // by Windows virtual-key code: 1 while down
extern bool window_active;       // false while minimised

// Builds everything on monitor `display` (from 0), or releases what it built
// and returns false. A full-screen mode that the display does not offer asks
// whether to go on in a window of the same client size.
bool window_create(const char* title, int width, int height, int bits, bool full_screen, int display);
// True while the window fills its monitor: false after the windowed fallback.
bool window_full_screen();
// F11: full screen at the desktop's size (no mode change), or back to the
// window. Returns whether the window now fills its monitor.
bool window_switch_full_screen();
// The monitors of the desktop, 0 when there is no display to ask.
int window_display_count();
void window_destroy();
// Nothing more can be drawn once the X server goes away (it stopped, or the
// session ended): the program then says so, runs `stop` on the main thread to
// finish what must be finished, and ends with code 1.
void window_on_display_lost(void (*stop)());
// The viewport and the perspective projection for a client area of this size.
void window_resize(int width, int height);
void window_swap();

// True when the key went down since the last call, even if it is up again:
// the loop looks once a frame, and a quick tap falls between two looks.
bool window_key_pressed(int vk);
// Lets go of every key, noted presses included.
void window_keys_release();

// The window's event handler: keys, minimise and restore, the screen saver.
void window_proc(const SDL_Event& ev);

// The drawable's size in pixels (for checks of what full screen really gave).
void window_drawable_size(int* width, int* height);

// True, with the drawable's size, once the window has changed size since the
// last call (after F11, or by the window manager's doing).
bool window_size_changed(int* width, int* height);
