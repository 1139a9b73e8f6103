#include "capture/capture.h"

#include "capture/driver.h"
#include "capture/source.h"
#include "capture/yuv.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "platform/worker.h"
#include "render/texture.h"

#include <GL/gl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

unsigned int video_texture = 0;
int video_width = 0, video_height = 0;
int video_tex_width = 0, video_tex_height = 0;

namespace {

// Written by the main thread, read by the grab worker.
std::atomic<bool> capture_connected{false};
std::atomic<bool> capture_grabbing{false};

bool video_texture_made = false;
std::vector<unsigned char> rgb_frame_a, rgb_frame_b;
unsigned char* rgb_upload = nullptr;
std::uint32_t captured_frames = 0;
int grab_worker = -1;
bool reported_bad_frame = false;

// What the last successful status query said; kept when a query fails.
int status_width = 0, status_height = 0;

int smallest_power_of_two(int side)
{
    int p = 1;
    while (p < side && p < (1 << 30))
        p <<= 1;
    return p;
}

// Converts a frame of the connected size into an RGB block. False, with the
// block untouched, for a frame that is not whole or not of that size.
bool convert_frame(const CaptureFrame& frame, unsigned char* target)
{
    if (frame.width != video_width || frame.height != video_height || !capture_frame_complete(frame)) {
        if (!reported_bad_frame) {
            std::fprintf(stderr,
                         "capture: skipping a %dx%d frame that is incomplete or not %dx%d; the picture "
                         "stays on the last whole frame\n",
                         frame.width, frame.height, video_width, video_height);
            reported_bad_frame = true;
        }
        return false;
    }
    YuvPlanes planes{frame.planes[0], frame.planes[1], frame.planes[2],
                     frame.strides[0], frame.strides[1], frame.strides[2]};
    yuv_frame_to_rgb(planes, target, video_width * 3, video_width, video_height);
    return true;
}

// The blocks by the parity of captured_frames: even uploads b and fills a.
unsigned char* pick_blocks()
{
    bool even = (captured_frames & 1u) == 0;
    rgb_upload = even ? rgb_frame_b.data() : rgb_frame_a.data();
    return even ? rgb_frame_a.data() : rgb_frame_b.data();
}

}  // namespace

void capture_select_source(const std::string& source) { capdrv_select_source(source); }

bool capture_window_create() { return capwin_create(); }

int video_tex_width_for(int frame_width)
{
    int side = frame_width <= 256 ? 256 : (frame_width <= 639 ? 512 : 1024);
    return frame_width > side ? smallest_power_of_two(frame_width) : side;
}

int video_tex_height_for(int frame_height)
{
    int side = frame_height <= 256 ? 256 : 512;
    return frame_height > side ? smallest_power_of_two(frame_height) : side;
}

void capture_refresh_size()
{
    capdrv_get_status(&status_width, &status_height);
    video_width = status_width;
    video_height = status_height;
}

void capture_driver_dialog(int which)
{
    // This driver has no display, format or source dialog of its own (which
    // 2, 1 and 0); the size is refreshed all the same.
    (void)which;
    capture_refresh_size();
}

bool capture_connect(int driver_index)
{
    if (!capdrv_connect(driver_index)) {
        message_box("Error", "Cannot open video device", MESSAGE_BOX_OK, MESSAGE_ICON_ERROR);
        return false;
    }
    capture_connected.store(true, std::memory_order_relaxed);
    capwin_show_cursor(true);
    capture_driver_dialog(2);
    capture_driver_dialog(1);
    capture_driver_dialog(0);

    std::size_t bytes = static_cast<std::size_t>(video_width > 0 ? video_width : 0) *
                        static_cast<std::size_t>(video_height > 0 ? video_height : 0) * 3;
    try {
        rgb_frame_a.assign(bytes, 0);
        rgb_frame_b.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "capture: no memory for two %dx%d RGB frames\n", video_width, video_height);
        capdrv_disconnect();
        capture_connected.store(false, std::memory_order_relaxed);
        video_width = video_height = 0;
        capwin_show_cursor(!fullscreen);
        message_box("Error", "Cannot open video device", MESSAGE_BOX_OK, MESSAGE_ICON_ERROR);
        return false;
    }
    captured_frames = 0;
    rgb_upload = rgb_frame_b.data();
    reported_bad_frame = false;
    video_texture_create();

    message_box("Information:", "Video device connected :)", MESSAGE_BOX_OK, MESSAGE_ICON_INFO);
    if (fullscreen)
        capwin_show_cursor(false);
    return true;
}

void video_texture_create()
{
    if (video_texture_made)
        return;
    video_tex_width = video_tex_width_for(video_width);
    video_tex_height = video_tex_height_for(video_height);
    std::vector<unsigned char> black;
    try {
        black.assign(static_cast<std::size_t>(video_tex_width) * static_cast<std::size_t>(video_tex_height) * 3, 0);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "capture: no memory for a %dx%d video texture; the show runs without video\n",
                     video_tex_width, video_tex_height);
        video_tex_width = video_tex_height = 0;
        return;
    }
    video_texture = texture_create(black.data(), video_tex_width, video_tex_height, false);
    video_texture_made = true;
}

void video_texture_upload()
{
    if (video_texture == 0 || !rgb_upload || video_width <= 0 || video_height <= 0)
        return;
    GLint bound = 0, alignment = 4, row_length = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &row_length);
    // Rows of 3 x width bytes are tightly packed, whatever the width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, video_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, video_width, video_height, GL_RGB, GL_UNSIGNED_BYTE,
                    rgb_upload);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    glPixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

int capture_frame_callback(const CaptureFrame& frame)
{
    unsigned char* target = pick_blocks();
    video_texture_upload();
    if (video_width <= 0 || video_height <= 0) {
        ++captured_frames;
        return 0;
    }
    // A frame that cannot be read whole is skipped and not counted, so the
    // next callback uploads the same picture again instead of an older one.
    if (convert_frame(frame, target))
        ++captured_frames;
    return 0;
}

bool capture_render_frame(double show_ms)
{
    if (!capture_connected.load(std::memory_order_relaxed) || video_width <= 0 || video_height <= 0)
        return false;
    CaptureFrame frame;
    if (!capdrv_frame(show_ms, &frame))
        return false;
    // Offline there is no grab period to hide: the frame for this time is
    // shown at once, not one grab later.
    unsigned char* target = pick_blocks();
    if (!convert_frame(frame, target))
        return false;
    rgb_upload = target;
    ++captured_frames;
    video_texture_upload();
    return true;
}

void capture_grab_frame(int)
{
    if (capture_connected.load(std::memory_order_relaxed) && capture_grabbing.load(std::memory_order_relaxed))
        capwin_request_grab();
}

bool capture_grab_start(bool enable, int period_ms)
{
    capdrv_set_frame_callback(capture_frame_callback);
    if (enable && grab_worker < 0)
        grab_worker = worker_start(capture_grab_frame, period_ms > 0 ? static_cast<unsigned>(period_ms) : 0, 0);
    capture_grabbing.store(enable, std::memory_order_relaxed);
    return !enable || grab_worker >= 0;
}

bool capture_disconnect()
{
    // A show that never had a device has nothing to close and nothing to report.
    if (!capture_connected.load(std::memory_order_relaxed))
        return false;
    if (!capdrv_disconnect()) {
        message_box("Error", "Cannot close video device", MESSAGE_BOX_OK, MESSAGE_ICON_ERROR);
        return false;
    }
    capture_connected.store(false, std::memory_order_relaxed);
    return true;
}

void capture_shutdown()
{
    // A worker waiting for a grab that the main loop will no longer serve is
    // let go first, so that stopping it cannot hang.
    capwin_release();
    worker_stop(grab_worker);
    grab_worker = -1;
    capture_grabbing.store(false, std::memory_order_relaxed);
    if (capdrv_connected()) {
        // Still open after a failed disconnect: close it so that no device
        // thread outlives the shutdown.
        capdrv_disconnect();
        capture_connected.store(false, std::memory_order_relaxed);
    }
    std::vector<unsigned char>().swap(rgb_frame_a);
    std::vector<unsigned char>().swap(rgb_frame_b);
    rgb_upload = nullptr;
    captured_frames = 0;
    status_width = status_height = 0;
    // The texture goes with the GL context, which is destroyed next; the
    // names are forgotten so that a later context starts afresh.
    video_texture = 0;
    video_texture_made = false;
    video_width = video_height = video_tex_width = video_tex_height = 0;
}

unsigned int capture_frame_count() { return captured_frames; }
