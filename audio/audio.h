#pragma once

#include <atomic>
#include <string>

// Music stream, reverb and spectrum.

constexpr int spectrum_size = 512;

// Square-rooted, smoothed FFT magnitudes of the music heard now, written every
// 25 ms by the spectrum timer thread and read by the composer.
extern std::atomic<float> spectrum[spectrum_size];
extern std::atomic<float> spectrum_prev[spectrum_size];

bool audio_init();                     // the sound device (none with no_sound or when it fails)
bool music_load(const std::string& path);  // the stream with its reverb
bool music_start();                    // looping playback and the 25 ms spectrum timer
void set_reverb_time(float ms);        // 800 to 3000 from the composer, every frame
void audio_shutdown();                 // timer and streaming stopped, device released

// The 25 ms timer's tick: fetches the FFT of what is heard and smooths it into
// `spectrum` and `spectrum_prev`.
void spectrum_sample();

// A box titled "bass error" reading "TEXT (bass error code: N)" with the code
// of the last failure of audio_init or music_load (audio/sound_error.h).
void bass_error_box(const std::string& text);

// Offline rendering: set `spectrum` to what the 25 ms sampler would hold at
// this show time had the music played from show time 0, replaying only the
// ticks recent enough to count. Needs music_load.
void spectrum_at_show_time(double show_ms);
