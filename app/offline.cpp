#include "app/offline.h"

#include "app/cmdline.h"
#include "app/outputs.h"
#include "app/startup.h"
#include "audio/audio.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "render/png_write.h"
#include "show/composer.h"
#include "show/cues.h"

#include <GL/gl.h>
#include <SDL.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace {

// The folder must exist and take new files before the first frame is drawn,
// so a bad path costs nothing and leaves nothing behind.
bool prepare_folder(const std::string& dir, std::string* error)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        *error = ec.message();
        return false;
    }
    if (!std::filesystem::is_directory(dir, ec)) {
        *error = "not a folder";
        return false;
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        *error = std::generic_category().message(errno);
        return false;
    }
    return true;
}

std::string frame_path(const std::string& dir, long long index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", index);
    return (std::filesystem::path(dir) / name).string();
}

// Frames at start + i / fps for every i whose time falls before the end.
long long frame_count(double fps, double duration)
{
    double frames = std::ceil(duration * fps - 1e-9);
    return frames > 0.0 ? static_cast<long long>(frames) : 0;
}

// Counts frames once they are written.
void report_progress(long long written, long long frames)
{
    std::fprintf(stderr, "\rglowcam: frame %lld of %lld (%.0f%%)", written, frames,
                 100.0 * static_cast<double>(written) / static_cast<double>(frames));
    std::fflush(stderr);
}

int write_failed(const std::string& path, const std::string& error)
{
    std::fprintf(stderr, "\nglowcam: cannot write %s: %s\n", path.c_str(), error.c_str());
    show_shutdown();
    return 1;
}

}  // namespace

int offline_render(const Options& options)
{
    const bool to_file = !options.render_file.empty();
    const std::string& dir = to_file ? options.render_file : options.render_dir;
    std::string error;
    if (to_file) {
        if (!render_video_open(options))
            return 1;
    } else if (!prepare_folder(dir, &error)) {
        std::fprintf(stderr, "glowcam: cannot write frames into '%s': %s\n", dir.c_str(),
                     error.c_str());
        return 1;
    }

    // No window is shown and no sound is played: the offscreen driver needs
    // no display, and every message box becomes a line on standard error.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    message_box_use_stderr(true);
    no_sound = true;
    fullscreen = false;
    if (!show_startup(options, ShowMode::offline)) {
        render_video_close();
        return window_failed;
    }

    const int w = screen_width;
    const int h = screen_height;
    const size_t frame_bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    std::vector<unsigned char> pixels;
    // Frame i is compressed and written while frame i + 1 is drawn.
    PngWriter writer;
    const long long frames = frame_count(options.fps, options.duration);

    for (long long i = 0; i < frames; ++i) {
        // SDL turns Ctrl-C and SIGTERM into a quit request: stop between
        // frames, so that no PNG is left half written.
        if (SDL_QuitRequested()) {
            bool written = to_file ? render_video_close() : writer.finish(&error);
            std::fprintf(stderr, "\nglowcam: interrupted after %lld of %lld frames in %s\n",
                         written ? i : i - 1, frames, dir.c_str());
            show_shutdown();
            return 1;
        }
        double ms = (options.start + static_cast<double>(i) / options.fps) * 1000.0;
        show_clock_set_manual(ms);
        cues_play(ms * 0.001);
        spectrum_at_show_time(ms);
        capture_render_frame(ms);
        compose_frame();
        glFinish();

        // The offscreen surface is single-buffered: read back whichever
        // buffer the context draws to.
        GLint draw_buffer = GL_BACK;
        glGetIntegerv(GL_DRAW_BUFFER, &draw_buffer);
        glReadBuffer(static_cast<GLenum>(draw_buffer));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        pixels.resize(frame_bytes);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());

        // The encoder works on threads of its own while the next frame is
        // drawn, as the PNG writer does for frames into a folder.
        if (to_file) {
            if (!render_video_frame(pixels.data(), i)) {
                render_video_close();
                show_shutdown();
                return 1;
            }
            report_progress(i + 1, frames);
            continue;
        }
        if (!writer.start(frame_path(dir, i), &pixels, w, h, true, &error))
            return write_failed(frame_path(dir, i - 1), error);
        if (i > 0)
            report_progress(i, frames);
    }
    if (to_file) {
        if (!render_video_close()) {
            show_shutdown();
            return 1;
        }
    } else if (!writer.finish(&error)) {
        return write_failed(frame_path(dir, frames - 1), error);
    }
    if (frames > 0)
        report_progress(frames, frames);
    std::fprintf(stderr, "%sglowcam: wrote %lld frame%s into %s\n", frames > 0 ? "\n" : "",
                 frames, frames == 1 ? "" : "s", dir.c_str());

    show_shutdown();
    return 0;
}
