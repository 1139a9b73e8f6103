#include "audio/analysis.h"

#include "audio/fft1024.h"
#include "audio/music_file.h"
#include "audio/sound_error.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

// More than the stream's queue holds, so a position a little behind the
// decoder is still there.
constexpr int history_frames = 1 << 16;
constexpr int block_frames = 4096;
constexpr int seek_ahead_seconds = 5;

struct Analysis {
    std::mutex mutex;  // all of it: the timer thread and shutdown meet here
    MusicFile* file = nullptr;
    int rate = 0;
    std::vector<float> block;    // block_frames stereo frames
    std::vector<float> history;  // history_frames mono frames, a ring
    int64_t head = 0;            // frames decoded so far, counted across loops
};
Analysis analysis;

int decode_next(int frames)
{
    const int got = music_file_read(analysis.file, analysis.block.data(), frames);
    for (int i = 0; i < got; ++i)
        analysis.history[(analysis.head + i) & (history_frames - 1)] =
            (analysis.block[2 * i] + analysis.block[2 * i + 1]) * 0.5f;
    analysis.head += got;
    return got;
}

// Decodes until frames up to `end` are in the history, going back to the
// start of the file when `start` is older than the history holds.
bool decode_until(int64_t start, int64_t end)
{
    if (start < analysis.head - history_frames / 2) {
        if (!music_file_rewind(analysis.file))
            return false;
        analysis.head = 0;
    }
    // Far ahead (a clock that jumped): seek rather than decode all the way.
    if (end - analysis.head > seek_ahead_seconds * analysis.rate &&
        music_file_seek_looped(analysis.file, start))
        analysis.head = start;
    while (analysis.head < end) {
        const int64_t want = std::min<int64_t>(block_frames, end - analysis.head);
        if (decode_next(static_cast<int>(want)) <= 0)
            return false;
    }
    return true;
}

bool fft_from(int64_t first, float* magnitudes)
{
    first = std::max<int64_t>(0, first);  // a device's latency at the very start
    if (analysis.file == nullptr || !decode_until(first, first + fft_size))
        return false;
    first = std::clamp<int64_t>(first, std::max<int64_t>(0, analysis.head - history_frames / 2),
                                analysis.head - fft_size);
    float window[fft_size];
    for (int i = 0; i < fft_size; ++i)
        window[i] = analysis.history[(first + i) & (history_frames - 1)];
    fft1024_magnitudes(window, magnitudes);
    return true;
}

}  // namespace

bool analysis_open(const std::string& path, int* error)
{
    std::lock_guard<std::mutex> lock(analysis.mutex);
    if (analysis.file != nullptr) {
        *error = SOUND_ERROR_LOADED;
        return false;
    }
    if (!fft1024_prepare()) {
        *error = SOUND_ERROR_FFT;
        return false;
    }
    analysis.file = music_file_open(path, error);
    if (analysis.file == nullptr)
        return false;
    analysis.rate = music_file_rate(analysis.file);
    analysis.block.assign(2 * block_frames, 0.0f);
    analysis.history.assign(history_frames, 0.0f);
    analysis.head = 0;
    return true;
}

bool analysis_fft_at_frame(int64_t first, float* magnitudes)
{
    std::lock_guard<std::mutex> lock(analysis.mutex);
    return fft_from(first, magnitudes);
}

bool analysis_fft_at_show_time(double show_ms, float* magnitudes)
{
    std::lock_guard<std::mutex> lock(analysis.mutex);
    const int64_t first =
        static_cast<int64_t>(std::floor(std::max(0.0, show_ms) * analysis.rate / 1000.0));
    return fft_from(first, magnitudes);
}

void analysis_close()
{
    std::lock_guard<std::mutex> lock(analysis.mutex);
    music_file_close(analysis.file);
    analysis.file = nullptr;
    analysis.block = {};
    analysis.history = {};
    analysis.head = 0;
}
