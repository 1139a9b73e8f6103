#pragma once

#include <functional>
#include <string>
#include <vector>

// Music files made on the spot, in a folder removed at the end of the program:
// Ogg Vorbis for a .ogg name, else float WAV (exact sample values), interleaved.
std::string audio_temp_dir();
std::string write_audio(const std::string& name, int rate, int channels, const std::vector<float>& samples);
std::string write_bytes(const std::string& name, const std::string& bytes);

// `frames` frames of `channels` channels, each channel the same f(frame); a
// sine that sits exactly on FFT bin 1 (1024 frames a period); a 0.4 one with
// some noise in it, no two windows alike.
std::vector<float> make_signal(int frames, int channels, const std::function<float(int)>& f);
float bin1_sine(int frame, float amplitude);
float noisy_tone(int frame);
