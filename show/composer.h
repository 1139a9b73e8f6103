#pragma once

// The per-frame program of the show.

extern int frame_mode;  // 0, 1 or 2

void compose_frame();
double spow(double x, double e);

// The pieces of a frame that need no GL, in double precision so a show that
// has run for weeks moves as smoothly as on its first day.

// The part of a frame, in units of the whole frame, that fills a view of
// another shape: cut around the centre, never squeezed.
struct PictureCut {
    float s0, t0, s_span, t_span;
};
PictureCut picture_cut(int frame_width, int frame_height, int view_width, int view_height);

// What the start of a frame decides: it reads the show clock, sets
// frame_mode (25 s per mode, as the operator last picked), drives envelope
// slots 0 and 1 and reads the bass (times the operator's sensitivity).
struct FrameStart {
    double t;          // show time in seconds
    int mode;
    bool box_refresh;  // first half of every 20 s
    double bass;       // 3 x spectrum[1] x sensitivity
};
FrameStart frame_begin();

// The mode-0 camera position at show time t; it looks at the origin.
void camera_eye(double t_seconds, double eye[3]);

// Per-frame quantities from envelope values e0 (slot 0) and e1 (slot 1).
double invert_strength(double e0);
double feedback_pass_alpha(double e1, double bass);
double feedback_angle(double e1);
double reverb_time_ms(double e1);
