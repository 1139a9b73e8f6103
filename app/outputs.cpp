#include "app/outputs.h"

#include "audio/music_file.h"
#include "core/clock.h"
#include "platform/frame_pacer.h"
#include "platform/window.h"
#include "render/video_file.h"
#include "render/virtual_camera.h"

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
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
// any), then the frame shown from `seconds`.
bool music_video_push(MusicVideo* v, const unsigned char* rgb, double seconds, double music_end)
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
    return video_file_push_audio(v->file, v->block.data(), wanted) && video_file_push_frame(v->file, rgb, seconds);
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

struct LiveOutputs {
    MusicVideo record;
    bool camera = false;
    int width = 0;
    int height = 0;
    long long resized = 0;  // frames left out because the window changed size
    std::vector<unsigned char> pixels;
    bool paced = false;
    FramePacer pacer;
};

LiveOutputs live;

// Reads the frame just drawn (before the swap) and hands it on.
void send_frame()
{
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &w, &h);
    if (w != live.width || h != live.height) {
        ++live.resized;
        return;
    }
    GLint pack = 4, read = GL_BACK;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glGetIntegerv(GL_READ_BUFFER, &read);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, live.pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    glReadBuffer(static_cast<GLenum>(read));
    if (live.camera)
        live.camera = virtual_camera_send(live.pixels.data());
    double seconds = show_time_ms() / 1000.0;
    if (live.record.file && !music_video_push(&live.record, live.pixels.data(), seconds, seconds))
        music_video_close(&live.record, true);
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
    double seconds = static_cast<double>(index) / render_fps;
    return music_video_push(&render, rgb, seconds, static_cast<double>(index + 1) / render_fps) ||
           music_video_close(&render, true);
}

bool render_video_close()
{
    return music_video_close(&render, false);
}

bool live_outputs_start(const Options& options)
{
    live = LiveOutputs{};
    SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &live.width, &live.height);
    live.pixels.resize(static_cast<size_t>(live.width) * static_cast<size_t>(live.height) * 3);

    double hz = 0.0;
    if (!options.no_vsync && (hz = frame_pacer_vsync(SDL_GetWindowDisplayIndex(SDL_GL_GetCurrentWindow()))) > 0.0) {
        live.paced = true;
        frame_pacer_start(&live.pacer, hz, PacerClock::now());
    }
    if (!options.record_file.empty()) {
        VideoFileSettings settings;
        settings.path = options.record_file;
        settings.width = live.width;
        settings.height = live.height;
        settings.fps = hz > 0.0 ? hz : 60.0;
        settings.bitrate_kbps = options.bitrate_kbps;
        settings.live = true;
        // The show's music starts with the show clock, from the beginning.
        if (!music_video_open(&live.record, settings, options, 0.0))
            return false;
    }
    if (!options.virtual_camera.empty())
        live.camera = virtual_camera_open(options.virtual_camera, live.width, live.height);
    return true;
}

void live_outputs_present()
{
    if (live.record.file || live.camera)
        send_frame();
    window_swap();
    if (live.paced)
        frame_pacer_wait(&live.pacer);
}

void live_outputs_stop()
{
    if (live.record.file) {
        long long dropped = video_file_dropped_frames(live.record.file);
        std::string path = live.record.path;
        if (music_video_close(&live.record, false))
            std::fprintf(stderr, "glowcam: recorded '%s'; %lld frame%s the encoder could not take in time %s left out\n",
                         path.c_str(), dropped, dropped == 1 ? "" : "s", dropped == 1 ? "was" : "were");
    }
    if (live.resized > 0)
        std::fprintf(stderr, "glowcam: %lld frames at another window size were not recorded or sent\n", live.resized);
    if (live.camera)
        virtual_camera_close();
    live = LiveOutputs{};
}
