#include "app/render_video.h"

#include "audio/music_file.h"
#include "render/video_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct RenderVideo {
    VideoFile* file = nullptr;
    MusicFile* music = nullptr;
    std::string path;
    double fps = 30.0;
    std::vector<float> block;
};

RenderVideo video;

// The music as the show plays it: from --start into the loop.
MusicFile* open_music(const Options& options, int* rate, bool* from_start)
{
    int error = 0;
    MusicFile* music = music_file_open(options.music, &error);
    if (music) {
        *rate = music_file_rate(music);
        *from_start = !music_file_seek_looped(music, std::llround(options.start * *rate)) && options.start > 0.0;
    }
    return music;
}

void release()
{
    if (video.music)
        music_file_close(video.music);
    video = RenderVideo{};
}

}  // namespace

bool render_video_open(const Options& options)
{
    release();
    VideoFileSettings settings;
    settings.path = options.render_file;
    settings.width = options.width;
    settings.height = options.height;
    settings.fps = options.fps;
    settings.bitrate_kbps = options.bitrate_kbps;
    bool from_start = false;
    if (!options.no_sound)
        video.music = open_music(options, &settings.audio_rate, &from_start);
    std::string error;
    video.file = video_file_open(settings, &error);
    if (!video.file) {
        std::fprintf(stderr, "glowcam: cannot write the video '%s': %s\n", options.render_file.c_str(),
                     error.c_str());
        release();
        return false;
    }
    if (!options.no_sound && !video.music)
        std::fprintf(stderr, "glowcam: cannot read the music '%s'; the video has no sound\n", options.music.c_str());
    if (from_start)
        std::fprintf(stderr, "glowcam: cannot seek in the music '%s'; the video's sound starts at its beginning\n",
                     options.music.c_str());
    video.path = options.render_file;
    video.fps = options.fps;
    return true;
}

bool render_video_frame(const unsigned char* rgb, long long index)
{
    long long wanted = video_file_audio_wanted(video.file, static_cast<double>(index + 1) / video.fps);
    video.block.assign(static_cast<size_t>(wanted) * 2, 0.0f);  // silence where the music stops giving
    for (long long done = 0; video.music && done < wanted;) {
        int got = music_file_read(video.music, video.block.data() + done * 2,
                                  static_cast<int>(std::min<long long>(wanted - done, 1 << 16)));
        if (got <= 0)
            break;
        done += got;
    }
    if (video_file_push_audio(video.file, video.block.data(), wanted) &&
        video_file_push_frame(video.file, rgb, static_cast<double>(index) / video.fps))
        return true;
    std::string error;
    video_file_close(video.file, &error);
    std::fprintf(stderr, "\nglowcam: cannot write the video '%s': %s\n", video.path.c_str(), error.c_str());
    video.file = nullptr;
    release();
    return false;
}

bool render_video_close()
{
    std::string error;
    bool ok = video.file && video_file_close(video.file, &error);
    if (video.file && !ok)
        std::fprintf(stderr, "glowcam: cannot finish the video '%s': %s\n", video.path.c_str(), error.c_str());
    video.file = nullptr;
    release();
    return ok;
}
