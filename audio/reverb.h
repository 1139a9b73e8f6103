#pragma once

// The reverb on the music: an EFX reverb effect in an auxiliary slot that the
// stream's source sends to, with the decay time the show changes every frame.
// Main thread.

// The settings of the DirectX 8 reverb the show was made with; only the
// decay time ever changes.
constexpr float reverb_in_gain_db = 0.0f;
constexpr float reverb_mix_db = 0.0f;
constexpr float reverb_default_time_ms = 1000.0f;
constexpr float reverb_high_freq_rt_ratio = 0.001f;

// Makes the effect and its slot on the open output and sends `source` to it.
bool reverb_create(unsigned source, int* error);

// The decay time in ms, clamped to what EFX can do; nothing happens while
// there is no effect.
void reverb_set_time(float ms);
float reverb_time_ms();

void reverb_destroy();
