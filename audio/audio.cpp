#include "audio/audio.h"

#include "audio/analysis.h"
#include "audio/live_input.h"
#include "audio/loopback.h"
#include "audio/output.h"
#include "audio/reverb.h"
#include "audio/sound_error.h"
#include "audio/stream.h"
#include "core/clock.h"
#include "core/settings.h"
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

struct Audio {
    std::string music_files[1] = {"music/tidewave.ogg"};
    unsigned spectrum_timer = 0;
    bool initialized = false;  // audio_init ran: a device, or none
    std::atomic<bool> playing{false};  // music_start has run: the music goes from show time 0
    int error_code = SOUND_OK;  // of the last failure, for bass_error_box
    bool test_mode = false;
    int64_t replayed_ticks = 0;  // spectrum_at_show_time: ticks smoothed so far
};
Audio audio;

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

// The music for the spectrum and, when there is an output, for the ears.
bool open_music(const std::string& file, int* error)
{
    if (!audio.initialized) {
        *error = SOUND_ERROR_NOT_INIT;
        return false;
    }
    if (!analysis_open(file, error))
        return false;
    if (output_kind() == OutputKind::none || stream_open(file, error))
        return true;
    analysis_close();
    return false;
}

// The FFT of the music at the frame being heard, or, with no output, at the
// frame the show clock has reached.
bool fetch_fft(float* raw)
{
    if (output_kind() == OutputKind::none)
        return analysis_fft_at_show_time(
            audio.playing.load(std::memory_order_relaxed) ? show_time_ms() : 0.0, raw);
    const double heard = stream_playing() ? stream_heard_frame() : 0.0;
    return analysis_fft_at_frame(static_cast<int64_t>(std::floor(heard)), raw);
}

}  // namespace

void bass_error_box(const std::string& text)
{
    const std::string message =
        text + " (bass error code: " + std::to_string(audio.error_code) + ")";
    message_box("bass error", message, MESSAGE_BOX_OK, MESSAGE_ICON_ERROR);
}

bool audio_init()
{
    clear_spectrum();
    if (!output_library_ok()) {
        audio.error_code = SOUND_ERROR_NO_EFX;
        message_box("Incorrect BASS.DLL", "BASS version 2.0 was not loaded", MESSAGE_BOX_OK,
                    MESSAGE_ICON_ERROR);
        return false;
    }
    audio.initialized = true;
    if (no_sound)
        return true;
    const bool opened = audio.test_mode ? output_open_loopback(output_rate, &audio.error_code)
                                        : output_open_device(output_rate, &audio.error_code);
    if (!opened) {
        // The show goes on as with No sound: the music is still read for the
        // spectrum that drives the picture.
        bass_error_box("Can't initialize sound device");
        return false;
    }
    return true;
}

bool music_load(const std::string& path)
{
    audio.music_files[0] = path;
    audio.replayed_ticks = 0;
    for (const std::string& file : audio.music_files) {
        if (!open_music(file, &audio.error_code)) {
            bass_error_box("Can't load file '" + file + "'");
            return false;
        }
    }
    // Without the reverb the music plays dry; nothing else depends on it.
    int ignored = SOUND_OK;
    if (output_kind() != OutputKind::none)
        reverb_create(stream_source(), &ignored);
    return true;
}

bool music_start()
{
    int ignored = SOUND_OK;
    if (output_kind() != OutputKind::none)
        stream_play(output_kind() == OutputKind::device, &ignored);
    audio.playing.store(true, std::memory_order_relaxed);
    if (!audio.test_mode && audio.spectrum_timer == 0)
        audio.spectrum_timer = time_set_event(spectrum_period_ms, spectrum_sample);
    return true;
}

void set_reverb_time(float ms) { reverb_set_time(ms); }

void spectrum_sample()
{
    float raw[spectrum_size];
    copy_spectrum(raw);
    if (live_input_in_use())
        live_input_fft1024(raw);
    else
        fetch_fft(raw);
    smooth_into_spectrum(raw);
}

void spectrum_at_show_time(double show_ms)
{
    const int64_t ticks =
        static_cast<int64_t>(std::floor(std::max(0.0, show_ms) / spectrum_period_ms));
    // Every tick halves what the spectrum held before it, so after 256 ticks
    // (6.4 s) nothing older is left in a single bit of a float, not even in
    // silence, where the halving is exact and ends in an underflow to zero.
    // A late start replays only those ticks instead of all since show time 0.
    constexpr int64_t remembered_ticks = 256;
    if (ticks < audio.replayed_ticks || ticks - audio.replayed_ticks > remembered_ticks) {
        clear_spectrum();
        audio.replayed_ticks = std::max<int64_t>(0, ticks - remembered_ticks);
    }
    float raw[spectrum_size];
    for (; audio.replayed_ticks < ticks; ++audio.replayed_ticks) {
        copy_spectrum(raw);
        analysis_fft_at_show_time(
            static_cast<double>(audio.replayed_ticks + 1) * spectrum_period_ms, raw);
        smooth_into_spectrum(raw);
    }
}

void audio_shutdown()
{
    // The timer goes first, so no tick uses a stream being released.
    if (audio.spectrum_timer != 0) {
        time_kill_event(audio.spectrum_timer);
        audio.spectrum_timer = 0;
    }
    stream_close();
    reverb_destroy();
    analysis_close();
    live_input_close();
    output_close();
    audio.initialized = false;
    audio.playing.store(false, std::memory_order_relaxed);
}

void audio_test_mode(bool on) { audio.test_mode = on; }

bool audio_render_loopback(float* stereo, int frames)
{
    if (output_kind() != OutputKind::loopback)
        return false;
    // Small slices, so the queue is topped up as often as a real device's
    // streaming thread would.
    constexpr int slice = 1024;
    for (int done = 0; done < frames;) {
        const int n = std::min(slice, frames - done);
        if (stream_playing())
            stream_service();
        output_mix(stereo + 2 * done, n);
        done += n;
    }
    return true;
}
