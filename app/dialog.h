#pragma once

// The configuration dialog "Config:", shown once before the show.

struct Resolution {
    int width;
    int height;
};
extern const Resolution resolution_table[3];
extern int resolution_index;

// True when the user pressed Go!; false for Exit. With no display it writes
// one line on standard error and returns false with *no_display set.
bool config_dialog_run(bool* no_display);
