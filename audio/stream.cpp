#include "audio/stream.h"

#include "audio/music_file.h"
#include "audio/output.h"
#include "audio/sound_error.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alext.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// The queue: 4 buffers of 4096 frames, about 370 ms at 44.1 kHz, refilled
// every 20 ms, so a busy machine has time to catch up before it runs dry.
constexpr int queue_buffers = 4;
constexpr int buffer_frames = 4096;
constexpr auto stream_wake = std::chrono::milliseconds(20);

struct Stream {
    // Read by the streaming thread while it runs, otherwise by whoever mixes.
    MusicFile* file = nullptr;
    int rate = 0;
    std::vector<float> block;  // buffer_frames stereo frames
    std::atomic<bool> playing{false};

    ALuint source = 0;
    ALuint buffers[queue_buffers] = {};
    int buffer_frames_queued[queue_buffers] = {};
    ALuint idle_buffers[queue_buffers] = {};  // not in the source's queue
    int idle_count = 0;
    // Guards the source's queue and queue_start_frame together, so a position
    // is never read half-way through an unqueue.
    std::mutex queue_mutex;
    int64_t queue_start_frame = 0;  // absolute frame at the head of the queue

    bool own_thread = false;  // a device: set before the spectrum timer starts
    std::thread thread;
    std::mutex wait_mutex;
    std::condition_variable wake;
    bool stop = false;

    // The heard position, smoothed on a device: the source's offset moves in
    // steps of one mixer period, which would make the FFT window stutter.
    std::atomic<bool> heard_valid{false};
    double heard_frame = 0.0;
    std::chrono::steady_clock::time_point heard_time;
};
Stream stream;

int buffer_index(ALuint buffer)
{
    for (int i = 0; i < queue_buffers; ++i)
        if (stream.buffers[i] == buffer)
            return i;
    return 0;
}

void thread_main()
{
    std::unique_lock<std::mutex> lock(stream.wait_mutex);
    while (!stream.stop) {
        lock.unlock();
        stream_service();
        lock.lock();
        stream.wake.wait_for(lock, stream_wake, [] { return stream.stop; });
    }
}

void stop_thread()
{
    if (!stream.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(stream.wait_mutex);
        stream.stop = true;
    }
    stream.wake.notify_one();
    stream.thread.join();
    stream.stop = false;
}

// The source's offset less what the device has mixed but not yet played.
double measured_heard_frame()
{
    std::lock_guard<std::mutex> lock(stream.queue_mutex);
    double offset = 0.0;
    double latency_s = 0.0;
    if (output_has_latency_query()) {
        ALint64SOFT values[2] = {0, 0};
        alGetSourcei64vSOFT(stream.source, AL_SAMPLE_OFFSET_LATENCY_SOFT, values);
        offset = static_cast<double>(values[0]) / 4294967296.0;  // 32.32 fixed point
        latency_s = static_cast<double>(values[1]) * 1e-9;
    } else {
        ALint samples = 0;
        alGetSourcei(stream.source, AL_SAMPLE_OFFSET, &samples);
        offset = samples;
    }
    return static_cast<double>(stream.queue_start_frame) + offset - latency_s * stream.rate;
}

// Moves the position on at the music's rate between measurements, and pulls
// it gently towards each measurement; a jump of more than 100 ms is taken at
// once.
double smoothed(double measured)
{
    const auto now = std::chrono::steady_clock::now();
    if (!stream.heard_valid.load(std::memory_order_relaxed)) {
        stream.heard_valid.store(true, std::memory_order_relaxed);
        stream.heard_frame = measured;
        stream.heard_time = now;
        return measured;
    }
    const double elapsed = std::chrono::duration<double>(now - stream.heard_time).count();
    const double predicted = stream.heard_frame + elapsed * stream.rate;
    const double error = measured - predicted;
    stream.heard_frame =
        std::abs(error) > 0.1 * stream.rate ? measured : predicted + error * 0.125;
    stream.heard_time = now;
    return stream.heard_frame;
}

}  // namespace

bool stream_open(const std::string& path, int* error)
{
    if (output_kind() == OutputKind::none) {
        *error = SOUND_ERROR_NOT_INIT;
        return false;
    }
    if (stream.file != nullptr) {
        *error = SOUND_ERROR_LOADED;
        return false;
    }
    MusicFile* file = music_file_open(path, error);
    if (file == nullptr)
        return false;
    alGetError();
    alGenSources(1, &stream.source);
    alGenBuffers(queue_buffers, stream.buffers);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(queue_buffers, stream.buffers);
        alDeleteSources(1, &stream.source);
        stream.source = 0;
        music_file_close(file);
        *error = SOUND_ERROR_OPENAL;
        return false;
    }
    // The music plays as it is: no 3D placement, each channel to its speaker.
    alSourcei(stream.source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(stream.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(stream.source, AL_ROLLOFF_FACTOR, 0.0f);
    alSourcef(stream.source, AL_GAIN, 1.0f);
    if (alIsExtensionPresent("AL_SOFT_direct_channels"))
        alSourcei(stream.source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);

    stream.file = file;
    stream.rate = music_file_rate(file);
    stream.block.assign(2 * buffer_frames, 0.0f);
    stream.queue_start_frame = 0;
    for (int i = 0; i < queue_buffers; ++i) {
        stream.buffer_frames_queued[i] = 0;
        stream.idle_buffers[i] = stream.buffers[i];
    }
    stream.idle_count = queue_buffers;
    *error = SOUND_OK;
    return true;
}

bool stream_play(bool own_thread, int* error)
{
    *error = SOUND_OK;
    if (stream.file == nullptr) {
        *error = SOUND_ERROR_NOT_INIT;
        return false;
    }
    if (stream.playing.load(std::memory_order_relaxed))
        return true;
    stream_service();  // the first buffers, and play
    if (own_thread) {
        try {
            stream.thread = std::thread(thread_main);
        } catch (const std::system_error&) {
            alSourceStop(stream.source);
            *error = SOUND_ERROR_THREAD;
            return false;
        }
    }
    stream.own_thread = own_thread;
    stream.playing.store(true, std::memory_order_relaxed);
    return true;
}

bool stream_playing() { return stream.playing.load(std::memory_order_relaxed); }

void stream_service()
{
    {
        std::lock_guard<std::mutex> lock(stream.queue_mutex);
        ALint processed = 0;
        alGetSourcei(stream.source, AL_BUFFERS_PROCESSED, &processed);
        for (; processed > 0; --processed) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(stream.source, 1, &buffer);
            stream.queue_start_frame += stream.buffer_frames_queued[buffer_index(buffer)];
            stream.idle_buffers[stream.idle_count++] = buffer;
        }
    }
    // Decoding takes the longest, so it runs without the lock.
    while (stream.idle_count > 0) {
        const int got = music_file_read(stream.file, stream.block.data(), buffer_frames);
        if (got <= 0)
            break;
        const ALuint buffer = stream.idle_buffers[--stream.idle_count];
        std::lock_guard<std::mutex> lock(stream.queue_mutex);
        alBufferData(buffer, AL_FORMAT_STEREO_FLOAT32, stream.block.data(),
                     static_cast<ALsizei>(got * 2 * sizeof(float)), stream.rate);
        stream.buffer_frames_queued[buffer_index(buffer)] = got;
        alSourceQueueBuffers(stream.source, 1, &buffer);
    }
    std::lock_guard<std::mutex> lock(stream.queue_mutex);
    ALint state = AL_STOPPED;
    ALint queued = 0;
    alGetSourcei(stream.source, AL_SOURCE_STATE, &state);
    alGetSourcei(stream.source, AL_BUFFERS_QUEUED, &queued);
    if (state != AL_PLAYING && queued > 0)
        alSourcePlay(stream.source);
}

unsigned stream_source() { return stream.source; }

double stream_heard_frame()
{
    const double measured = measured_heard_frame();
    return stream.own_thread ? smoothed(measured) : measured;
}

void stream_close()
{
    stop_thread();
    stream.own_thread = false;
    stream.playing.store(false, std::memory_order_relaxed);
    if (stream.source != 0) {
        alSourceStop(stream.source);
        alSourcei(stream.source, AL_BUFFER, 0);
        alSource3i(stream.source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
        alDeleteSources(1, &stream.source);
        alDeleteBuffers(queue_buffers, stream.buffers);
        stream.source = 0;
    }
    music_file_close(stream.file);
    stream.file = nullptr;
    stream.block.clear();
    stream.block.shrink_to_fit();
    stream.heard_valid.store(false, std::memory_order_relaxed);
}
