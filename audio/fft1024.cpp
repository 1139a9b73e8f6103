#include "audio/fft1024.h"

#include <fftw3.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>

namespace {

std::once_flag plan_once;
std::atomic<fftwf_plan> plan{nullptr};
float hann[fft_size];

}  // namespace

bool fft1024_prepare()
{
    std::call_once(plan_once, [] {
        for (int n = 0; n < fft_size; ++n)
            hann[n] = static_cast<float>(
                0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / fft_size));
        // The plan is made on arrays aligned as FFTW aligns its own, so that
        // it can run later on the caller's aligned arrays.
        float* in = fftwf_alloc_real(fft_size);
        fftwf_complex* out = fftwf_alloc_complex(fft_bins + 1);
        if (in != nullptr && out != nullptr)
            plan.store(fftwf_plan_dft_r2c_1d(fft_size, in, out, FFTW_ESTIMATE),
                       std::memory_order_release);
        fftwf_free(in);
        fftwf_free(out);
    });
    return plan.load(std::memory_order_acquire) != nullptr;
}

void fft1024_magnitudes(const float* samples, float* magnitudes)
{
    const fftwf_plan p = plan.load(std::memory_order_acquire);
    if (p == nullptr) {
        for (int k = 0; k < fft_bins; ++k)
            magnitudes[k] = 0.0f;
        return;
    }
    alignas(64) float in[fft_size];
    alignas(64) fftwf_complex out[fft_bins + 1];
    for (int n = 0; n < fft_size; ++n)
        in[n] = samples[n] * hann[n];
    fftwf_execute_dft_r2c(p, in, out);
    constexpr float scale = 2.0f / fft_size;
    for (int k = 0; k < fft_bins; ++k)
        magnitudes[k] = std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]) * scale;
}
