#pragma once

// Opens the window with the size and full-screen choice in the settings and
// writes back what it got: full screen is cleared when the user takes the
// windowed fallback.
bool window_open(const char* title);

// Seeds the random generator with 1234 and lets go of every key.
void startup_reset();
