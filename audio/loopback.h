#pragma once

// Tests and benchmarks: audio_init opens OpenAL Soft's loopback mixer in
// place of the sound card (no_sound still opens none) and music_start starts
// no timer; the caller mixes with audio_render_loopback and calls
// spectrum_sample itself. No sound card needed.
void audio_test_mode(bool on);

// Mixes `frames` stereo float frames, keeping the stream's queue topped up as
// a device's streaming thread would. False without the loopback mixer.
bool audio_render_loopback(float* stereo, int frames);
