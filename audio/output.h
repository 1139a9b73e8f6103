#pragma once

// Where the music is heard: the sound card, OpenAL Soft's loopback mixer
// (which needs no sound card; its caller mixes, see audio/loopback.h), or
// nowhere. Main thread, except output_kind and output_has_latency_query.

enum class OutputKind { none, device, loopback };

// True when the OpenAL library offers EFX, which the reverb needs.
bool output_library_ok();

// Open the default output device, or the loopback mixer (stereo float), at
// `rate` Hz. On failure *error is a sound error code and the kind stays none.
bool output_open_device(int rate, int* error);
bool output_open_loopback(int rate, int* error);

OutputKind output_kind();
// The device can run the reverb.
bool output_has_effects();
// The device reports the delay between its mixer and the speaker.
bool output_has_latency_query();

// Loopback only: mixes `frames` stereo frames into `stereo`.
void output_mix(float* stereo, int frames);

// Back to none; nothing happens when nothing is open.
void output_close();
