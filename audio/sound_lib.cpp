#include "audio/sound_lib.h"

#include "audio/fft1024.h"
#include "audio/music_file.h"
#include "core/clock.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

enum class Mode { none, device, silent, loopback };

constexpr uint32_t stream_handle = 1;
constexpr uint32_t reverb_handle = 2;

// The queue: 4 buffers of 4096 frames, about 370 ms at 44.1 kHz, refilled
// every 20 ms, so a busy machine has time to catch up before it runs dry.
constexpr int queue_buffers = 4;
constexpr int buffer_frames = 4096;
constexpr auto stream_wake = std::chrono::milliseconds(20);

// The last decoded frames as mono, for the FFT: more than the queue holds, so
// the frames being heard are always still there.
constexpr int history_frames = 1 << 16;
constexpr int seek_ahead_seconds = 5;

// EFX allows 0.1, but OpenAL Soft 1.19 aborts on an internal assertion with
// ratios under about 0.2 at decay times from 0.5 to 1.1 s, the very range the
// show sweeps. 0.2 is as dark as the reverb can safely be.
constexpr float min_safe_hf_ratio = 0.2f;

constexpr ReverbParams dx8_reverb_defaults = {0.0f, 0.0f, 1000.0f, 0.001f};

// Per thread, as the timer thread's calls must not overwrite the code a box
// on the main thread is about to show.
thread_local int last_error = SOUND_OK;
std::atomic<Mode> mode{Mode::none};

ALCdevice* device = nullptr;
ALCcontext* context = nullptr;
bool has_latency_query = false;

// The stream. The file is read by one thread at a time: the streaming thread
// while a device plays it, otherwise whoever asks for the FFT (under
// decode_mutex).
MusicFile* music = nullptr;
int music_rate = 0;
std::atomic<bool> stream_exists{false};
std::atomic<bool> playing{false};
std::vector<float> decode_block;  // buffer_frames stereo frames
std::mutex decode_mutex;

std::atomic<float> history[history_frames];
std::atomic<int64_t> history_head{0};  // frames decoded so far, counted across loops

ALuint source = 0;
ALuint buffers[queue_buffers] = {};
int buffer_frames_queued[queue_buffers] = {};
ALuint idle_buffers[queue_buffers] = {};  // not in the source's queue; streaming side only
int idle_count = 0;
// Guards the source's queue and queue_start_frame together, so a position
// is never read half-way through an unqueue.
std::mutex queue_mutex;
int64_t queue_start_frame = 0;  // absolute frame at the head of the source's queue

std::thread stream_thread;
std::mutex stream_wait_mutex;
std::condition_variable stream_wake_cv;
bool stream_stop = false;

// The heard position, smoothed: the source's offset moves in steps of one
// mixer period, which would make the FFT window stutter.
std::atomic<bool> heard_valid{false};
double heard_frame = 0.0;
std::chrono::steady_clock::time_point heard_time;

// The reverb.
std::atomic<bool> reverb_exists{false};
ALuint reverb_effect = 0;
ALuint reverb_slot = 0;
std::mutex reverb_mutex;
ReverbParams reverb_params = dx8_reverb_defaults;

bool fail(int code)
{
    last_error = code;
    return false;
}

uint32_t fail_handle(int code)
{
    last_error = code;
    return 0;
}

bool succeed()
{
    last_error = SOUND_OK;
    return true;
}

float db_to_gain(float db) { return std::pow(10.0f, db / 20.0f); }

bool open_context(const ALCint* attributes)
{
    context = alcCreateContext(device, attributes);
    if (context == nullptr || alcMakeContextCurrent(context) == ALC_FALSE) {
        if (context != nullptr)
            alcDestroyContext(context);
        context = nullptr;
        alcCloseDevice(device);
        device = nullptr;
        return fail(SOUND_ERROR_CONTEXT);
    }
    has_latency_query = alIsExtensionPresent("AL_SOFT_source_latency") == AL_TRUE;
    return true;
}

bool begin_init()
{
    if (mode.load(std::memory_order_relaxed) != Mode::none)
        return fail(SOUND_ERROR_ALREADY);
    if (!fft1024_prepare())
        return fail(SOUND_ERROR_FFT);
    return true;
}

// Decodes the next block into decode_block and the history. Returns the
// frames decoded.
int decode_next(int frames)
{
    const int got = music_file_read(music, decode_block.data(), frames);
    const int64_t head = history_head.load(std::memory_order_relaxed);
    for (int i = 0; i < got; ++i) {
        const float mono = (decode_block[2 * i] + decode_block[2 * i + 1]) * 0.5f;
        history[(head + i) & (history_frames - 1)].store(mono, std::memory_order_relaxed);
    }
    history_head.store(head + got, std::memory_order_release);
    return got;
}

int buffer_index(ALuint buffer)
{
    for (int i = 0; i < queue_buffers; ++i)
        if (buffers[i] == buffer)
            return i;
    return 0;
}

// Device modes: unqueues what has been played, queues newly decoded buffers
// in their place, and restarts a source that ran dry.
void service_queue()
{
    {
        std::lock_guard<std::mutex> lock(queue_mutex);
        ALint processed = 0;
        alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
        for (; processed > 0; --processed) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(source, 1, &buffer);
            queue_start_frame += buffer_frames_queued[buffer_index(buffer)];
            idle_buffers[idle_count++] = buffer;
        }
    }
    // Decoding takes the longest, so it runs without the lock.
    while (idle_count > 0) {
        const int got = decode_next(buffer_frames);
        if (got <= 0)
            break;
        const ALuint buffer = idle_buffers[--idle_count];
        std::lock_guard<std::mutex> lock(queue_mutex);
        alBufferData(buffer, AL_FORMAT_STEREO_FLOAT32, decode_block.data(),
                     static_cast<ALsizei>(got * 2 * sizeof(float)), music_rate);
        buffer_frames_queued[buffer_index(buffer)] = got;
        alSourceQueueBuffers(source, 1, &buffer);
    }
    std::lock_guard<std::mutex> lock(queue_mutex);
    ALint state = AL_STOPPED;
    ALint queued = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    alGetSourcei(source, AL_BUFFERS_QUEUED, &queued);
    if (state != AL_PLAYING && queued > 0)
        alSourcePlay(source);
}

void stream_thread_main()
{
    std::unique_lock<std::mutex> lock(stream_wait_mutex);
    while (!stream_stop) {
        lock.unlock();
        service_queue();
        lock.lock();
        stream_wake_cv.wait_for(lock, stream_wake, [] { return stream_stop; });
    }
}

void stop_stream_thread()
{
    if (!stream_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(stream_wait_mutex);
        stream_stop = true;
    }
    stream_wake_cv.notify_one();
    stream_thread.join();
    stream_stop = false;
}

// The frame being heard now, from the source's offset less what the device
// has mixed but not yet played. Device modes, playing.
double source_heard_frame()
{
    std::lock_guard<std::mutex> lock(queue_mutex);
    double offset = 0.0;
    double latency_s = 0.0;
    if (has_latency_query) {
        ALint64SOFT values[2] = {0, 0};
        alGetSourcei64vSOFT(source, AL_SAMPLE_OFFSET_LATENCY_SOFT, values);
        offset = static_cast<double>(values[0]) / 4294967296.0;  // 32.32 fixed point
        latency_s = static_cast<double>(values[1]) * 1e-9;
    } else {
        ALint samples = 0;
        alGetSourcei(source, AL_SAMPLE_OFFSET, &samples);
        offset = samples;
    }
    return static_cast<double>(queue_start_frame) + offset - latency_s * music_rate;
}

// Moves the window on at the music's rate between measurements, and pulls it
// gently towards each measurement; a jump of more than 100 ms is taken at once.
double smoothed_heard_frame(double measured)
{
    const auto now = std::chrono::steady_clock::now();
    if (!heard_valid.load(std::memory_order_relaxed)) {
        heard_valid.store(true, std::memory_order_relaxed);
        heard_frame = measured;
        heard_time = now;
        return measured;
    }
    const double elapsed = std::chrono::duration<double>(now - heard_time).count();
    const double predicted = heard_frame + elapsed * music_rate;
    const double error = measured - predicted;
    heard_frame = std::abs(error) > 0.1 * music_rate ? measured : predicted + error * 0.125;
    heard_time = now;
    return heard_frame;
}

// Silent modes: decodes until frames up to `end` are in the history, going
// back to the start of the file when `start` is older than the history holds.
bool decode_until(int64_t start, int64_t end)
{
    std::lock_guard<std::mutex> lock(decode_mutex);
    if (start < history_head.load(std::memory_order_relaxed) - history_frames / 2) {
        if (!music_file_rewind(music))
            return false;
        history_head.store(0, std::memory_order_relaxed);
    }
    // Far ahead (a clock that jumped): seek rather than decode all the way.
    if (end - history_head.load(std::memory_order_relaxed) > seek_ahead_seconds * music_rate &&
        music_file_seek_looped(music, start))
        history_head.store(start, std::memory_order_relaxed);
    while (history_head.load(std::memory_order_relaxed) < end) {
        const int64_t head = history_head.load(std::memory_order_relaxed);
        const int64_t want = std::min<int64_t>(buffer_frames, end - head);
        if (decode_next(static_cast<int>(want)) <= 0)
            return false;
    }
    return true;
}

// FFT of the 1024 frames from `first`, clamped into what the history holds.
bool analyse_from(int64_t first, float* magnitudes)
{
    const int64_t head = history_head.load(std::memory_order_acquire);
    if (head < fft_size)
        return fail(SOUND_ERROR_NO_DATA);
    first = std::clamp<int64_t>(first, std::max<int64_t>(0, head - history_frames / 2),
                                head - fft_size);
    float window[fft_size];
    for (int i = 0; i < fft_size; ++i)
        window[i] = history[(first + i) & (history_frames - 1)].load(std::memory_order_relaxed);
    fft1024_magnitudes(window, magnitudes);
    return succeed();
}

bool analyse_at_show_time(double show_ms, float* magnitudes)
{
    const int64_t first =
        static_cast<int64_t>(std::floor(std::max(0.0, show_ms) * music_rate / 1000.0));
    if (!decode_until(first, first + fft_size))
        return fail(SOUND_ERROR_NO_DATA);
    return analyse_from(first, magnitudes);
}

void apply_reverb(const ReverbParams& p)
{
    // The DirectX 8 ranges first, then what EFX can do.
    const float in_gain = db_to_gain(std::clamp(p.in_gain_db, -96.0f, 0.0f));
    const float mix = db_to_gain(std::clamp(p.reverb_mix_db, -96.0f, 0.0f));
    const float decay_s = std::clamp(p.reverb_time_ms, 0.001f, 3000.0f) / 1000.0f;
    const float hf_ratio = std::clamp(p.high_freq_rt_ratio, 0.001f, 0.999f);
    alEffectf(reverb_effect, AL_REVERB_GAIN,
              std::clamp(mix, AL_REVERB_MIN_GAIN, AL_REVERB_MAX_GAIN));
    alEffectf(reverb_effect, AL_REVERB_DECAY_TIME,
              std::clamp(decay_s, AL_REVERB_MIN_DECAY_TIME, AL_REVERB_MAX_DECAY_TIME));
    alEffectf(reverb_effect, AL_REVERB_DECAY_HFRATIO,
              std::clamp(hf_ratio, min_safe_hf_ratio, AL_REVERB_MAX_DECAY_HFRATIO));
    alAuxiliaryEffectSlotf(reverb_slot, AL_EFFECTSLOT_GAIN,
                           std::clamp(in_gain, 0.0f, 1.0f));
    // OpenAL Soft reads an effect's properties only when it is attached.
    alAuxiliaryEffectSloti(reverb_slot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(reverb_effect));
}

bool device_mode()
{
    const Mode m = mode.load(std::memory_order_relaxed);
    return m == Mode::device || m == Mode::loopback;
}

}  // namespace

int sound_error_get_code() { return last_error; }

bool sound_library_ok()
{
    if (alGetProcAddress("alGenEffects") == nullptr ||
        alGetProcAddress("alAuxiliaryEffectSloti") == nullptr)
        return fail(SOUND_ERROR_NO_EFX);
    return succeed();
}

bool sound_init(int rate)
{
    if (!begin_init())
        return false;
    device = alcOpenDevice(nullptr);
    if (device == nullptr)
        return fail(SOUND_ERROR_DEVICE);
    const ALCint attributes[] = {ALC_FREQUENCY, rate, 0};
    if (!open_context(attributes))
        return false;
    mode.store(Mode::device, std::memory_order_relaxed);
    return succeed();
}

bool sound_init_silent()
{
    if (!begin_init())
        return false;
    mode.store(Mode::silent, std::memory_order_relaxed);
    return succeed();
}

bool sound_init_loopback(int rate)
{
    if (!begin_init())
        return false;
    device = alcLoopbackOpenDeviceSOFT(nullptr);
    if (device == nullptr)
        return fail(SOUND_ERROR_DEVICE);
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,     ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,            rate,
                                 0};
    if (!open_context(attributes))
        return false;
    mode.store(Mode::loopback, std::memory_order_relaxed);
    return succeed();
}

uint32_t sound_stream_create_file(const std::string& path)
{
    if (mode.load(std::memory_order_relaxed) == Mode::none)
        return fail_handle(SOUND_ERROR_NOT_INIT);
    if (stream_exists.load(std::memory_order_relaxed))
        return fail_handle(SOUND_ERROR_STREAM_EXISTS);
    int error = SOUND_OK;
    MusicFile* file = music_file_open(path, &error);
    if (file == nullptr)
        return fail_handle(error);

    if (device_mode()) {
        alGetError();
        alGenSources(1, &source);
        alGenBuffers(queue_buffers, buffers);
        if (alGetError() != AL_NO_ERROR) {
            alDeleteBuffers(queue_buffers, buffers);
            alDeleteSources(1, &source);
            source = 0;
            music_file_close(file);
            return fail_handle(SOUND_ERROR_OPENAL);
        }
        // The music plays as it is: no 3D placement, each channel to its speaker.
        alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
        alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
        alSourcef(source, AL_GAIN, 1.0f);
        if (alIsExtensionPresent("AL_SOFT_direct_channels"))
            alSourcei(source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    }
    music = file;
    music_rate = music_file_rate(file);
    decode_block.assign(2 * buffer_frames, 0.0f);
    history_head.store(0, std::memory_order_relaxed);
    queue_start_frame = 0;
    for (int i = 0; i < queue_buffers; ++i) {
        buffer_frames_queued[i] = 0;
        idle_buffers[i] = buffers[i];
    }
    idle_count = device_mode() ? queue_buffers : 0;
    stream_exists.store(true, std::memory_order_relaxed);
    succeed();
    return stream_handle;
}

bool sound_stream_play_looping(uint32_t stream)
{
    if (stream != stream_handle || !stream_exists.load(std::memory_order_relaxed))
        return fail(SOUND_ERROR_HANDLE);
    if (playing.load(std::memory_order_relaxed))
        return succeed();
    const Mode m = mode.load(std::memory_order_relaxed);
    if (m == Mode::device || m == Mode::loopback)
        service_queue();  // the first buffers, and play
    if (m == Mode::device) {
        try {
            stream_thread = std::thread(stream_thread_main);
        } catch (const std::system_error&) {
            alSourceStop(source);
            return fail(SOUND_ERROR_THREAD);
        }
    }
    playing.store(true, std::memory_order_relaxed);
    return succeed();
}

uint32_t sound_channel_set_reverb(uint32_t stream)
{
    if (stream != stream_handle || !stream_exists.load(std::memory_order_relaxed))
        return fail_handle(SOUND_ERROR_HANDLE);
    if (reverb_exists.load(std::memory_order_relaxed))
        return reverb_handle;
    std::lock_guard<std::mutex> lock(reverb_mutex);
    reverb_params = dx8_reverb_defaults;
    if (device_mode()) {
        if (!alcIsExtensionPresent(device, "ALC_EXT_EFX"))
            return fail_handle(SOUND_ERROR_NO_EFFECT);
        alGetError();
        alGenEffects(1, &reverb_effect);
        alGenAuxiliaryEffectSlots(1, &reverb_slot);
        alEffecti(reverb_effect, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
        if (alGetError() != AL_NO_ERROR) {
            alDeleteAuxiliaryEffectSlots(1, &reverb_slot);
            alDeleteEffects(1, &reverb_effect);
            reverb_slot = 0;
            reverb_effect = 0;
            return fail_handle(SOUND_ERROR_NO_EFFECT);
        }
        apply_reverb(reverb_params);
        alSource3i(source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(reverb_slot), 0,
                   AL_FILTER_NULL);
    }
    // Without a device the record is kept all the same: nothing is heard.
    reverb_exists.store(true, std::memory_order_relaxed);
    succeed();
    return reverb_handle;
}

bool sound_fx_get_parameters(uint32_t fx, ReverbParams* params)
{
    if (fx != reverb_handle || !reverb_exists.load(std::memory_order_relaxed))
        return fail(SOUND_ERROR_HANDLE);
    std::lock_guard<std::mutex> lock(reverb_mutex);
    *params = reverb_params;
    return succeed();
}

bool sound_fx_set_parameters(uint32_t fx, const ReverbParams* params)
{
    if (fx != reverb_handle || !reverb_exists.load(std::memory_order_relaxed))
        return fail(SOUND_ERROR_HANDLE);
    std::lock_guard<std::mutex> lock(reverb_mutex);
    reverb_params = *params;
    if (reverb_slot != 0)
        apply_reverb(reverb_params);
    return succeed();
}

bool sound_channel_get_fft1024(uint32_t stream, float* magnitudes)
{
    if (stream != stream_handle || !stream_exists.load(std::memory_order_relaxed))
        return fail(SOUND_ERROR_HANDLE);
    switch (mode.load(std::memory_order_relaxed)) {
    case Mode::device:
    case Mode::loopback: {
        if (!playing.load(std::memory_order_relaxed))
            return analyse_from(0, magnitudes);
        double heard = source_heard_frame();
        if (mode.load(std::memory_order_relaxed) == Mode::device)
            heard = smoothed_heard_frame(heard);
        return analyse_from(static_cast<int64_t>(std::floor(heard)), magnitudes);
    }
    case Mode::silent:
        return analyse_at_show_time(playing.load(std::memory_order_relaxed) ? show_time_ms() : 0.0,
                                    magnitudes);
    case Mode::none:
        break;
    }
    return fail(SOUND_ERROR_NOT_INIT);
}

bool sound_channel_get_fft1024_at(uint32_t stream, double show_ms, float* magnitudes)
{
    if (stream != stream_handle || !stream_exists.load(std::memory_order_relaxed))
        return fail(SOUND_ERROR_HANDLE);
    // A stream playing on a device owns the file; this is for offline use.
    if (device_mode() && playing.load(std::memory_order_relaxed))
        return fail(SOUND_ERROR_HANDLE);
    return analyse_at_show_time(show_ms, magnitudes);
}

bool sound_render(float* stereo, int frames)
{
    if (mode.load(std::memory_order_relaxed) != Mode::loopback)
        return fail(SOUND_ERROR_NOT_INIT);
    // Small slices, so the queue is topped up as often as a real device's
    // streaming thread would.
    constexpr int slice = 1024;
    for (int done = 0; done < frames;) {
        const int n = std::min(slice, frames - done);
        if (playing.load(std::memory_order_relaxed))
            service_queue();
        alcRenderSamplesSOFT(device, stereo + 2 * done, n);
        done += n;
    }
    return succeed();
}

void sound_free()
{
    stop_stream_thread();
    playing.store(false, std::memory_order_relaxed);
    if (source != 0) {
        alSourceStop(source);
        alSourcei(source, AL_BUFFER, 0);
        alSource3i(source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
        alDeleteSources(1, &source);
        alDeleteBuffers(queue_buffers, buffers);
        source = 0;
    }
    if (reverb_slot != 0) {
        alAuxiliaryEffectSloti(reverb_slot, AL_EFFECTSLOT_EFFECT, AL_EFFECT_NULL);
        alDeleteAuxiliaryEffectSlots(1, &reverb_slot);
        alDeleteEffects(1, &reverb_effect);
        reverb_slot = 0;
        reverb_effect = 0;
    }
    reverb_exists.store(false, std::memory_order_relaxed);
    stream_exists.store(false, std::memory_order_relaxed);
    music_file_close(music);
    music = nullptr;
    decode_block.clear();
    decode_block.shrink_to_fit();
    heard_valid.store(false, std::memory_order_relaxed);
    if (context != nullptr) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
        context = nullptr;
    }
    if (device != nullptr) {
        alcCloseDevice(device);
        device = nullptr;
    }
    mode.store(Mode::none, std::memory_order_relaxed);
}
