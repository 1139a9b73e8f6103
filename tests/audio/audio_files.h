#pragma once

#include <functional>
#include <string>
#include <vector>

// Music files made on the spot, in a folder removed at the end of the program.
std::string audio_temp_dir();
// A float WAV file (exact sample values), or Ogg Vorbis; `samples` interleaved.
std::string write_wav(const std::string& name, int rate, int channels, const std::vector<float>& samples);
std::string write_ogg(const std::string& name, int rate, int channels, const std::vector<float>& samples);
std::string write_bytes(const std::string& name, const std::string& bytes);

// `frames` frames of `channels` channels, each channel the same f(frame).
std::vector<float> make_signal(int frames, int channels, const std::function<float(int)>& f);
// A sine that sits exactly on FFT bin 1 (1024 frames a period).
float bin1_sine(int frame, float amplitude);
// A 0.4 sine on bin 1 with some noise in it: no two windows alike.
float noisy_tone(int frame);

// Message boxes shown from here on, as "CAPTION|TEXT", until the hook is reset.
const std::vector<std::string>& capture_boxes();
