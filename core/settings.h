#pragma once

// The display and sound settings the dialog (or the command line) chooses and
// the window confirms. Main thread only.

extern int screen_width;   // client width in pixels, 1024 at start
extern int screen_height;  // client height in pixels, 768 at start, never 0 once set
extern const int color_bits;  // 32
extern bool fullscreen;    // requested, and once the window exists, in force
extern int monitor_index;  // the monitor the show is on, from 0
extern bool no_sound;      // open no sound device; the music still drives the spectrum
