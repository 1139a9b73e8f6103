#pragma once

#include <cstdint>
#include <string>

// The music's spectrum: a decoder of its own fills a history of mono frames
// ((L + R) / 2) as far as the position asked for, and the FFT is taken from
// there. The position comes from the stream (what is being heard) or from
// the show clock. Any one thread at a time, the spectrum timer's or the
// offline renderer's.

bool analysis_open(const std::string& path, int* error);

// 512 magnitudes of the 1024 frames from `first` (see fft1024_magnitudes),
// counted from the start of the music across loops. On failure (nothing open,
// nothing decodable) `magnitudes` is untouched.
bool analysis_fft_at_frame(int64_t first, float* magnitudes);
// The same at the frame the music has reached at show time `show_ms` when it
// plays from show time 0.
bool analysis_fft_at_show_time(double show_ms, float* magnitudes);

void analysis_close();
