#pragma once

#include "core/settings.h"

union SDL_Event;

// The show's one window and its OpenGL context (SDL2, compatibility profile,
// double buffered, 16-bit depth). Main thread only.

extern unsigned char keys[256];  // by Windows virtual-key code: 1 while down
extern bool window_active;       // false while minimised

bool window_open(const char* title);
bool window_create(const char* title, int width, int height, int bits, bool full_screen);
void window_destroy();
void window_resize(int width, int height);
void window_swap();

// True when the key went down since the last call, even if it is up again:
// the loop looks once a frame, and a quick tap falls between two looks.
bool window_key_pressed(int vk);
// Lets go of every key, noted presses included.
void window_keys_release();

// The window's event handler: keys, minimise and restore, the screen saver.
void window_proc(const SDL_Event& ev);

// The Windows virtual-key code of an SDL key, or 0 for keys without one.
int virtual_key_code(int sdl_keycode);

// The drawable's size in pixels (for checks of what full screen really gave).
void window_drawable_size(int* width, int* height);
