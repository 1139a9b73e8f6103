#include "capture/driver.h"

#include "core/clock.h"
#include "platform/main_thread.h"

#include <SDL.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

std::string selected_spec = "auto";
const CaptureSource* test_source = nullptr;
const CaptureSource* open_source = nullptr;
int open_width = 0, open_height = 0;
CaptureFrameCallback frame_callback = nullptr;
bool reported_no_frame = false;  // once per connection

// Grab requests from the worker to the main thread.
std::mutex grab_mutex;
std::condition_variable grab_served_cv;
std::uint64_t grab_posted = 0;
std::uint64_t grab_served = 0;
bool window_open = false;  // guarded by grab_mutex: false also once released
std::thread::id window_thread;

bool ends_with(const std::string& s, const char* tail)
{
    std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

const CaptureSource* source_for(const std::string& spec)
{
    if (test_source)
        return test_source;
    if (spec == "none")
        return nullptr;
    if (spec == "test")
        return &pattern_source;
    if (spec == "auto" || spec.rfind("/dev/", 0) == 0)
        return &camera_source;
    return ends_with(spec, ".y4m") ? &y4m_source : &file_source;
}

// Runs on the main thread when the main loop retrieves the posted request.
void serve_grab(void* arg)
{
    auto seq = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(arg));
    bool serve;
    {
        std::lock_guard<std::mutex> lock(grab_mutex);
        serve = window_open;
    }
    if (serve)
        capdrv_grab(show_time_ms());
    std::lock_guard<std::mutex> lock(grab_mutex);
    if (seq > grab_served)
        grab_served = seq;
    grab_served_cv.notify_all();
}

}  // namespace

void capdrv_select_source(const std::string& spec) { selected_spec = spec; }

void capdrv_use_source(const CaptureSource* source) { test_source = source; }

bool capdrv_connect(int driver_index)
{
    // There is one driver, at index 0.
    if (driver_index != 0)
        return false;
    if (open_source)
        capdrv_disconnect();
    const CaptureSource* source = source_for(selected_spec);
    if (!source)
        return false;
    int w = 0, h = 0;
    if (!source->open(selected_spec, &w, &h))
        return false;
    open_source = source;
    reported_no_frame = false;
    open_width = w;
    open_height = h;
    return true;
}

bool capdrv_disconnect()
{
    if (!open_source)
        return false;
    open_source->close();
    open_source = nullptr;
    return true;
}

bool capdrv_connected() { return open_source != nullptr; }

bool capdrv_get_status(int* width, int* height)
{
    if (!open_source)
        return false;
    *width = open_width;
    *height = open_height;
    return true;
}

bool capdrv_source_timed() { return open_source && open_source->timed; }

void capdrv_set_frame_callback(CaptureFrameCallback callback) { frame_callback = callback; }

bool capdrv_frame(double show_ms, CaptureFrame* out)
{
    return open_source && open_source->frame(show_ms, out);
}

bool capdrv_grab(double show_ms)
{
    CaptureFrame frame;
    if (!capdrv_frame(show_ms, &frame)) {
        // The callback is not called, so the texture keeps the last picture.
        if (open_source && !reported_no_frame) {
            std::fprintf(stderr, "capture: the %s source stopped giving frames; the picture stays on the last one\n",
                         open_source->name);
            reported_no_frame = true;
        }
        return false;
    }
    if (frame_callback)
        frame_callback(frame);
    return true;
}

bool capwin_create()
{
    std::lock_guard<std::mutex> lock(grab_mutex);
    window_open = true;
    window_thread = std::this_thread::get_id();
    return true;
}

bool capwin_exists()
{
    std::lock_guard<std::mutex> lock(grab_mutex);
    return window_open;
}

bool capwin_request_grab()
{
    std::uint64_t seq;
    {
        std::lock_guard<std::mutex> lock(grab_mutex);
        if (!window_open)
            return false;
        if (std::this_thread::get_id() == window_thread) {
            // Nobody else would serve it: the caller is the window's own thread.
            seq = 0;
        } else {
            seq = ++grab_posted;
        }
    }
    if (seq == 0)
        return capdrv_grab(show_time_ms());
    if (!main_thread_post(serve_grab, reinterpret_cast<void*>(static_cast<std::uintptr_t>(seq))))
        return false;
    std::unique_lock<std::mutex> lock(grab_mutex);
    grab_served_cv.wait(lock, [seq] { return grab_served >= seq || !window_open; });
    return grab_served >= seq;
}

void capwin_release()
{
    std::lock_guard<std::mutex> lock(grab_mutex);
    window_open = false;
    grab_served_cv.notify_all();
}

void capwin_show_cursor(bool show)
{
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0)
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}
