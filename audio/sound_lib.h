#pragma once

#include <cstdint>
#include <string>

// The audio library the music part calls: an output device, one looping file
// stream with a reverb on it, and the FFT of what is being heard. Built on
// OpenAL Soft (output, EFX reverb), libsndfile (decoding) and FFTW (the FFT).
// Handles are non-zero; 0 means failure, with the cause in
// sound_error_get_code, which like errno is kept per thread.

// Every cause of failure, one code each. The numbers are shown to the user in
// boxes ("... (bass error code: N)"), so they never change meaning.
enum SoundError {
    SOUND_OK = 0,
    SOUND_ERROR_NO_EFX = 1,         // the OpenAL library has no EFX (no reverb effects)
    SOUND_ERROR_DEVICE = 2,         // the output device could not be opened
    SOUND_ERROR_CONTEXT = 3,        // the device opened but gave no mixing context
    SOUND_ERROR_NOT_INIT = 4,       // no successful sound_init* before this call
    SOUND_ERROR_ALREADY = 5,        // sound_init* again without sound_free
    SOUND_ERROR_FILE_OPEN = 6,      // the file is missing or cannot be read
    SOUND_ERROR_FILE_FORMAT = 7,    // the file is not audio that can be decoded
    SOUND_ERROR_FILE_EMPTY = 8,     // the file holds no decodable frame
    SOUND_ERROR_FILE_CHANNELS = 9,  // more than two channels
    SOUND_ERROR_HANDLE = 10,        // not a handle of a stream or an effect that exists
    SOUND_ERROR_STREAM_EXISTS = 11, // one stream at a time
    SOUND_ERROR_NO_EFFECT = 12,     // the device cannot run the reverb
    SOUND_ERROR_OPENAL = 13,        // OpenAL refused a source, buffer or effect
    SOUND_ERROR_THREAD = 14,        // the streaming thread could not be started
    SOUND_ERROR_NO_DATA = 15,       // nothing decoded yet to analyse
    SOUND_ERROR_FFT = 16,           // FFTW gave no plan
};

int sound_error_get_code();

// The "version" check: true when the OpenAL library offers EFX.
bool sound_library_ok();

// Opens the default output device at `rate` Hz.
bool sound_init(int rate);
// No device at all: streams are still decoded, and a playing stream's
// position follows the show clock, so its FFT follows the music.
bool sound_init_silent();
// Tests: OpenAL Soft's loopback device, stereo float at `rate`, no threads;
// the caller mixes with sound_render. Needs no sound card.
bool sound_init_loopback(int rate);

// Opens the file as a stream (stopped, at its start). One stream at a time.
uint32_t sound_stream_create_file(const std::string& path);
// Plays the stream from its start, looping.
bool sound_stream_play_looping(uint32_t stream);

// The reverb on a stream: returns its effect handle.
uint32_t sound_channel_set_reverb(uint32_t stream);

// The DirectX 8 reverb's parameter record.
struct ReverbParams {
    float in_gain_db;          // -96 to 0
    float reverb_mix_db;       // -96 to 0
    float reverb_time_ms;      // 0.001 to 3000
    float high_freq_rt_ratio;  // 0.001 to 0.999
};
bool sound_fx_get_parameters(uint32_t fx, ReverbParams* params);
bool sound_fx_set_parameters(uint32_t fx, const ReverbParams* params);

// 512 magnitudes of the 1024 mono samples ((L + R) / 2) from the position
// being heard (see fft1024_magnitudes). On failure `magnitudes` is untouched.
bool sound_channel_get_fft1024(uint32_t stream, float* magnitudes);
// The same at the position the stream has at show time `show_ms` when it
// plays from show time 0; for offline rendering, no device needed.
bool sound_channel_get_fft1024_at(uint32_t stream, double show_ms, float* magnitudes);

// Loopback device only: mixes `frames` stereo float frames into `stereo`,
// streaming as it goes.
bool sound_render(float* stereo, int frames);

// Stops the streaming thread, then releases stream, effect and device.
void sound_free();
