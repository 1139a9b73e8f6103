#include "audio/audio.h"

#include "app/settings.h"
#include "audio/live_input.h"
#include "audio/sound_lib.h"
#include "platform/message_box.h"
#include "platform/periodic_timer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

std::atomic<float> spectrum[spectrum_size];
std::atomic<float> spectrum_prev[spectrum_size];

namespace {

constexpr int output_rate = 44100;
constexpr int spectrum_period_ms = 25;

std::string music_files[1] = {"music/tidewave.ogg"};
uint32_t music_streams[1] = {0};
std::atomic<uint32_t> music_channel{0};  // read by the timer thread
std::atomic<uint32_t> reverb_fx{0};
unsigned spectrum_timer = 0;

bool test_mode = false;
int64_t replayed_ticks = 0;  // spectrum_at_show_time: ticks smoothed so far

void clear_spectrum()
{
    for (int i = 0; i < spectrum_size; ++i) {
        spectrum[i].store(0.0f, std::memory_order_relaxed);
        spectrum_prev[i].store(0.0f, std::memory_order_relaxed);
    }
}

// The fetch buffer starts as a copy of the smoothed spectrum, so a fetch that
// fails leaves those values in it and they are smoothed once more. Readers
// only ever see results of the smoothing.
void smooth_into_spectrum(const float* raw)
{
    for (int i = 0; i < spectrum_size; ++i) {
        const float s =
            (std::pow(raw[i], 0.5f) + spectrum_prev[i].load(std::memory_order_relaxed)) * 0.5f;
        spectrum[i].store(s, std::memory_order_relaxed);
        spectrum_prev[i].store(s, std::memory_order_relaxed);
    }
}

void copy_spectrum(float* raw)
{
    for (int i = 0; i < spectrum_size; ++i)
        raw[i] = spectrum[i].load(std::memory_order_relaxed);
}

}  // namespace

void bass_error_box(const std::string& text)
{
    const std::string message =
        text + " (bass error code: " + std::to_string(sound_error_get_code()) + ")";
    message_box("bass error", message, MESSAGE_BOX_OK, MESSAGE_ICON_ERROR);
}

bool audio_init()
{
    clear_spectrum();
    if (!sound_library_ok()) {
        message_box("Incorrect BASS.DLL", "BASS version 2.0 was not loaded", MESSAGE_BOX_OK,
                    MESSAGE_ICON_ERROR);
        return false;
    }
    bool opened = false;
    if (no_sound)
        opened = sound_init_silent();
    else if (test_mode)
        opened = sound_init_loopback(output_rate);
    else
        opened = sound_init(output_rate);
    if (!opened) {
        bass_error_box("Can't initialize sound device");
        return false;
    }
    return true;
}

bool music_load(const std::string& path)
{
    music_files[0] = path;
    replayed_ticks = 0;
    for (int i = 0; i < 1; ++i) {
        music_streams[i] = sound_stream_create_file(music_files[i]);
        if (music_streams[i] == 0) {
            bass_error_box("Can't load file '" + music_files[i] + "'");
            return false;
        }
    }
    music_channel.store(music_streams[0], std::memory_order_relaxed);
    reverb_fx.store(sound_channel_set_reverb(music_streams[0]), std::memory_order_relaxed);
    return true;
}

bool music_start()
{
    sound_stream_play_looping(music_streams[0]);
    if (!test_mode && spectrum_timer == 0)
        spectrum_timer = time_set_event(spectrum_period_ms, spectrum_sample);
    return true;
}

void set_reverb_time(float ms)
{
    const uint32_t fx = reverb_fx.load(std::memory_order_relaxed);
    ReverbParams params{};
    sound_fx_get_parameters(fx, &params);
    params.reverb_time_ms = ms;
    sound_fx_set_parameters(fx, &params);
}

void spectrum_sample()
{
    float raw[spectrum_size];
    copy_spectrum(raw);
    if (live_input_in_use())
        live_input_fft1024(raw);
    else
        sound_channel_get_fft1024(music_channel.load(std::memory_order_relaxed), raw);
    smooth_into_spectrum(raw);
}

void spectrum_at_show_time(double show_ms)
{
    const int64_t ticks =
        static_cast<int64_t>(std::floor(std::max(0.0, show_ms) / spectrum_period_ms));
    if (ticks < replayed_ticks) {
        clear_spectrum();
        replayed_ticks = 0;
    }
    float raw[spectrum_size];
    for (; replayed_ticks < ticks; ++replayed_ticks) {
        copy_spectrum(raw);
        sound_channel_get_fft1024_at(music_channel.load(std::memory_order_relaxed),
                                     static_cast<double>(replayed_ticks + 1) * spectrum_period_ms,
                                     raw);
        smooth_into_spectrum(raw);
    }
}

void audio_shutdown()
{
    // The timer goes first, so no tick uses a stream being released.
    if (spectrum_timer != 0) {
        time_kill_event(spectrum_timer);
        spectrum_timer = 0;
    }
    sound_free();
    live_input_close();
    music_streams[0] = 0;
    music_channel.store(0, std::memory_order_relaxed);
    reverb_fx.store(0, std::memory_order_relaxed);
}

void audio_test_mode(bool on) { test_mode = on; }

bool audio_render_loopback(float* stereo, int frames) { return sound_render(stereo, frames); }
