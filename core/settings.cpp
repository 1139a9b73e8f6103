#include "core/settings.h"

int screen_width = 1024;
int screen_height = 768;
const int color_bits = 32;
bool fullscreen = true;
int monitor_index = 0;
bool no_sound = false;
