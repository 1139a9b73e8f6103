#pragma once

// 32 envelope slots: triggered with a duration and a curve exponent, read as
// a value falling from 1 to 0 along (1 - elapsed/duration)^curve. Times are
// milliseconds of the show clock, kept in double precision so a show that has
// run for weeks still moves smoothly. Main thread only.

struct Envelope {
    double start;     // show time of the last trigger
    double duration;  // ms
    float value;      // last value read; 0 after a stop
    float curve;      // never negative
    bool active;
};

constexpr int envelope_count = 32;
extern Envelope envelopes[envelope_count];

void env_trigger(int slot, int duration_ms, float curve, bool force);
void env_stop(int slot);
double env_value(int slot);

// All slots back to their start-up state (inactive, zero), as when a show
// starts afresh.
void env_reset_all();
