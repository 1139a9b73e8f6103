#include "app/outputs.h"

#include "audio/music_file.h"
#include "core/clock.h"
#include "core/frame_grid.h"
#include "platform/frame_pacer.h"
#include "platform/window.h"
#include "render/frame_readback.h"
#include "render/video_file.h"
#include "render/virtual_camera.h"

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A video file with the show's music, decoded again for it.
struct MusicVideo {
    VideoFile* file = nullptr;
    MusicFile* music = nullptr;
    std::string path;
    std::vector<float> block;
};

void music_video_release(MusicVideo* v)
{
    if (v->music)
        music_file_close(v->music);
    *v = MusicVideo{};
}

// Opens the music `music_start` seconds into its loop, then the file.
bool music_video_open(MusicVideo* v, VideoFileSettings settings, const Options& options, double music_start)
{
    int code = 0;
    bool seeks = true;
    if (!options.no_sound && (v->music = music_file_open(options.music, &code))) {
        settings.audio_rate = music_file_rate(v->music);
        seeks = music_start <= 0.0 || music_file_seek_looped(v->music, std::llround(music_start * settings.audio_rate));
    }
    std::string error;
    v->file = video_file_open(settings, &error);
    if (!v->file) {
        std::fprintf(stderr, "glowcam: cannot write the video '%s': %s\n", settings.path.c_str(), error.c_str());
        music_video_release(v);
        return false;
    }
    v->path = settings.path;
    if (!options.no_sound && !v->music)
        std::fprintf(stderr, "glowcam: cannot read the music '%s'; '%s' has no sound\n", options.music.c_str(),
                     v->path.c_str());
    if (!seeks)
        std::fprintf(stderr, "glowcam: cannot seek in the music '%s'; the sound of '%s' starts at its beginning\n",
                     options.music.c_str(), v->path.c_str());
    return true;
}

// The music up to `music_end` seconds (silence where the file stops giving
// any), then the frame for `count` ticks from tick `first` on.
bool music_video_push(MusicVideo* v, const unsigned char* rgb, long long first, long long count, double music_end)
{
    long long wanted = video_file_audio_wanted(v->file, music_end);
    v->block.assign(static_cast<size_t>(wanted) * 2, 0.0f);
    for (long long done = 0; v->music && done < wanted;) {
        int got = music_file_read(v->music, v->block.data() + done * 2,
                                  static_cast<int>(std::min<long long>(wanted - done, 1 << 16)));
        if (got <= 0)
            break;
        done += got;
    }
    return video_file_push_audio(v->file, v->block.data(), wanted) && video_file_push_frame(v->file, rgb, first, count);
}

// Finishes the file; `failed` says it has already failed while pushing.
bool music_video_close(MusicVideo* v, bool failed)
{
    std::string error;
    bool ok = !v->file || video_file_close(v->file, &error);
    if (!ok || failed)
        std::fprintf(stderr, "%sglowcam: the video '%s' stopped: %s\n", failed ? "\n" : "", v->path.c_str(),
                     error.empty() ? "unknown error" : error.c_str());
    music_video_release(v);
    return ok && !failed;
}

MusicVideo render;
double render_fps = 30.0;

// The live outputs take frames at a steady rate of their own: a frame for
// each tick of a grid of show time, the first one drawn at or after it. The
// main thread reads such a frame back and hands it over a frame later, when
// the copy is done; the sender thread pushes it for each of its ticks, so
// that the conversion and the encoder's queue stay off the show's loop.
struct LiveOutputs {
    MusicVideo record;  // the sender thread's while it runs
    std::atomic<bool> recording{false};
    std::atomic<bool> camera{false};
    int width = 0;
    int height = 0;
    FrameGrid grid;
    long long read_first = 0;  // the frame being read back stands for ticks from here to grid.next
    long long resized = 0;  // ticks left out because the window changed size
    bool paced = false;
    FramePacer pacer;

    // The frame handed over: the main thread's until `fresh`, then the sender's.
    std::mutex lock;
    std::condition_variable changed;
    std::vector<unsigned char> handed, sending;
    long long first_tick = 0, end_tick = 0;  // the ticks it stands for
    bool fresh = false;
    bool stop = false;
    std::thread sender;
};

std::unique_ptr<LiveOutputs> live;

void send_frames(LiveOutputs* l)
{
    std::unique_lock<std::mutex> hold(l->lock);
    for (;;) {
        l->changed.wait(hold, [l] { return l->fresh || l->stop; });
        if (!l->fresh)
            return;
        std::swap(l->handed, l->sending);
        const long long first = l->first_tick, end = l->end_tick;
        l->fresh = false;
        hold.unlock();
        if (l->camera)
            l->camera = virtual_camera_send(l->sending.data(), first, end - first);
        const double seconds = static_cast<double>(first) / l->grid.fps;
        if (l->recording && !music_video_push(&l->record, l->sending.data(), first, end - first, seconds)) {
            music_video_close(&l->record, true);
            l->recording = false;
        }
        hold.lock();
    }
}

// Hands over the frame read back at the last present, then starts reading
// this one when it is the first to reach a tick.
void read_frame(LiveOutputs* l)
{
    {
        std::lock_guard<std::mutex> hold(l->lock);
        if (frame_readback_take(l->handed.data())) {
            // A frame the sender has not taken yet leaves its ticks to this one.
            if (!l->fresh)
                l->first_tick = l->read_first;
            l->end_tick = l->grid.next;
            l->fresh = true;
            l->changed.notify_one();
        }
    }
    long long first = 0, end = 0;
    if (!frame_grid_reach(&l->grid, show_time_ms(), &first, &end))
        return;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &w, &h);
    if (w != l->width || h != l->height) {
        l->resized += end - first;
        return;
    }
    frame_readback_start();
    l->read_first = first;
}

}  // namespace

bool render_video_open(const Options& options)
{
    VideoFileSettings settings;
    settings.path = options.render_file;
    settings.width = options.width;
    settings.height = options.height;
    settings.fps = render_fps = options.fps;
    settings.bitrate_kbps = options.bitrate_kbps;
    return music_video_open(&render, settings, options, options.start);
}

bool render_video_frame(const unsigned char* rgb, long long index)
{
    return music_video_push(&render, rgb, index, 1, static_cast<double>(index + 1) / render_fps) ||
           music_video_close(&render, true);
}

bool render_video_close()
{
    return music_video_close(&render, false);
}

bool live_outputs_start(const Options& options)
{
    live = std::make_unique<LiveOutputs>();
    LiveOutputs* l = live.get();
    SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &l->width, &l->height);
    l->grid = FrameGrid{.fps = options.record_fps};

    double hz = 0.0;
    if (!options.no_vsync && (hz = frame_pacer_vsync(SDL_GetWindowDisplayIndex(SDL_GL_GetCurrentWindow()))) > 0.0) {
        l->paced = true;
        frame_pacer_start(&l->pacer, hz, PacerClock::now());
    }
    if (!options.record_file.empty()) {
        VideoFileSettings settings;
        settings.path = options.record_file;
        settings.width = l->width;
        settings.height = l->height;
        settings.fps = l->grid.fps;
        settings.bitrate_kbps = options.bitrate_kbps;
        settings.live = true;
        // The show's music starts with the show clock, from the beginning.
        if (!music_video_open(&l->record, settings, options, 0.0)) {
            live.reset();
            return false;
        }
        l->recording = true;
    }
    if (!options.virtual_camera.empty())
        l->camera = virtual_camera_open(options.virtual_camera, l->width, l->height, l->grid.fps);
    if (l->recording || l->camera) {
        const size_t bytes = static_cast<size_t>(l->width) * static_cast<size_t>(l->height) * 3;
        l->handed.resize(bytes);
        l->sending.resize(bytes);
        frame_readback_open(l->width, l->height);
        l->sender = std::thread(send_frames, l);
    }
    return true;
}

void live_outputs_present()
{
    if (live->recording || live->camera)
        read_frame(live.get());
    window_swap();
    if (live->paced)
        frame_pacer_wait(&live->pacer);
}

// No GL here: this also runs when the display is lost, inside Xlib. The
// frame still being read back is left out.
void live_outputs_stop()
{
    if (!live)
        return;
    LiveOutputs* l = live.get();
    if (l->sender.joinable()) {
        {
            std::lock_guard<std::mutex> hold(l->lock);
            l->stop = true;
            l->changed.notify_one();
        }
        l->sender.join();
    }
    if (l->record.file) {
        const long long dropped = video_file_dropped_frames(l->record.file);
        const double seconds = static_cast<double>(l->end_tick) / l->grid.fps;
        const std::string path = l->record.path;
        if (music_video_close(&l->record, false))
            std::fprintf(stderr,
                         "glowcam: recorded %.2f s into '%s'; %lld frame%s the encoder could not take in time %s left out\n",
                         seconds, path.c_str(), dropped, dropped == 1 ? "" : "s", dropped == 1 ? "was" : "were");
    }
    if (l->resized > 0)
        std::fprintf(stderr, "glowcam: %lld frames at another window size were not recorded or sent\n", l->resized);
    if (l->camera)
        virtual_camera_close();
    live.reset();
}
