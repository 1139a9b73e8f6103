#include "app/live_outputs.h"

#include "app/clock.h"
#include "app/window.h"
#include "audio/music_file.h"
#include "platform/frame_pacer.h"
#include "render/video_file.h"
#include "render/virtual_camera.h"

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct LiveOutputs {
    VideoFile* record = nullptr;
    MusicFile* music = nullptr;  // the show's music, decoded again for the file
    std::string record_path;
    bool camera = false;
    int width = 0;
    int height = 0;
    long long resized = 0;  // frames left out because the window changed size
    std::vector<unsigned char> pixels;
    std::vector<float> block;
    bool paced = false;
    FramePacer pacer;
};

LiveOutputs live;

void stop_recording(const char* why)
{
    std::string error;
    if (!video_file_close(live.record, &error) && why == nullptr)
        why = error.c_str();
    if (why)
        std::fprintf(stderr, "glowcam: the recording '%s' stopped: %s\n", live.record_path.c_str(), why);
    live.record = nullptr;
}

void record_frame(double seconds)
{
    long long wanted = video_file_audio_wanted(live.record, seconds);
    live.block.assign(static_cast<size_t>(wanted) * 2, 0.0f);
    for (long long done = 0; live.music && done < wanted;) {
        int got = music_file_read(live.music, live.block.data() + done * 2,
                                  static_cast<int>(std::min<long long>(wanted - done, 1 << 16)));
        if (got <= 0)
            break;
        done += got;
    }
    if (!video_file_push_audio(live.record, live.block.data(), wanted) ||
        !video_file_push_frame(live.record, live.pixels.data(), seconds))
        stop_recording(nullptr);
}

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
        virtual_camera_send(live.pixels.data());
    if (live.record)
        record_frame(show_time_ms() / 1000.0);
}

}  // namespace

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
        int error = 0;
        if (!options.no_sound && (live.music = music_file_open(options.music, &error)))
            settings.audio_rate = music_file_rate(live.music);
        std::string why;
        live.record = video_file_open(settings, &why);
        if (!live.record) {
            std::fprintf(stderr, "glowcam: cannot record into '%s': %s\n", options.record_file.c_str(),
                         why.c_str());
            live_outputs_stop();
            return false;
        }
        live.record_path = options.record_file;
    }
    if (!options.virtual_camera.empty())
        live.camera = virtual_camera_open(options.virtual_camera, live.width, live.height);
    return true;
}

void live_outputs_present()
{
    if (live.record || live.camera)
        send_frame();
    window_swap();
    if (live.paced)
        frame_pacer_wait(&live.pacer);
}

void live_outputs_stop()
{
    if (live.record) {
        long long dropped = video_file_dropped_frames(live.record);
        stop_recording(nullptr);
        std::fprintf(stderr, "glowcam: recorded '%s'; %lld frame%s the encoder could not take in time %s left out\n",
                     live.record_path.c_str(), dropped, dropped == 1 ? "" : "s", dropped == 1 ? "was" : "were");
    }
    if (live.resized > 0)
        std::fprintf(stderr, "glowcam: %lld frames at another window size were not recorded or sent\n",
                     live.resized);
    if (live.camera)
        virtual_camera_close();
    if (live.music)
        music_file_close(live.music);
    live = LiveOutputs{};
}
