#pragma once

// The per-frame program of the show.

extern int frame_mode;  // 0, 1 or 2, from the show time alone

void compose_frame();
double spow(double x, double e);
