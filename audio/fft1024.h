#pragma once

constexpr int fft_size = 1024;
constexpr int fft_bins = fft_size / 2;

// Prepares the FFT plan. Call once from one thread before the first
// fft1024_magnitudes; later calls do nothing. False when FFTW gives no plan.
bool fft1024_prepare();

// Magnitudes of bins 0 to 511 of the 1024-sample FFT of `samples` under a
// periodic Hann window, scaled by 2 / 1024: a full-scale sine that sits on a
// bin gives 0.5 there. DC is kept. Any thread, no allocation.
void fft1024_magnitudes(const float* samples, float* magnitudes);
