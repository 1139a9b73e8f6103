#include "render/virtual_camera.h"

#include "render/gst_frames.h"

#include <gst/app/gstappsrc.h>

#include <cmath>
#include <cstdio>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const char* const how_to_make_one =
    "make one with 'sudo modprobe v4l2loopback exclusive_caps=1' (package v4l2loopback-dkms)";

struct VirtualCamera {
    GstElement* pipeline = nullptr;
    GstAppSrc* source = nullptr;
    GstBus* bus = nullptr;
    int width = 0;
    int height = 0;
    guint64 frame_bytes = 0;
    double fps = 30.0;
    long long dropped = 0;
};

VirtualCamera camera;

// Empty when `device` is a v4l2loopback node that takes video output, else
// what is wrong with it.
std::string loopback_problem(const std::string& device)
{
    int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "cannot be opened";
    v4l2_capability cap{};
    bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    ::close(fd);
    if (!ok)
        return "is no video device";
    unsigned caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    std::string driver(reinterpret_cast<const char*>(cap.driver));
    if (driver != "v4l2 loopback" || !(caps & V4L2_CAP_VIDEO_OUTPUT))
        return "is no v4l2loopback device";
    return {};
}

// An error waiting on the bus, as one line; empty when none.
std::string bus_error()
{
    GstMessage* msg = gst_bus_pop_filtered(camera.bus, GST_MESSAGE_ERROR);
    if (!msg)
        return {};
    GError* err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    std::string why = err ? err->message : "unknown error";
    g_clear_error(&err);
    gst_message_unref(msg);
    if (!why.empty() && why.back() == '.')
        why.pop_back();  // our line goes on after it
    return why;
}

GstElement* make(const char* factory)
{
    return gst_element_factory_make(factory, nullptr);
}

}  // namespace

bool virtual_camera_open_sink(GstElement* sink, int width, int height, double fps, std::string* error)
{
    virtual_camera_close();
    if (!gst_frames_ready(error)) {
        gst_object_unref(gst_object_ref_sink(sink));
        return false;
    }
    camera.pipeline = gst_pipeline_new("virtual-camera");
    GstElement* source = make("appsrc");
    GstElement* convert = make("videoconvert");
    GstElement* queue = make("queue");
    GstBin* bin = GST_BIN(camera.pipeline);
    gst_bin_add(bin, sink);
    if (!source || !convert || !queue) {
        *error = "GStreamer's appsrc, videoconvert or queue is missing";
        virtual_camera_close();
        return false;
    }
    gst_bin_add_many(bin, source, convert, queue, nullptr);
    camera.source = GST_APP_SRC(gst_object_ref(source));
    camera.bus = gst_element_get_bus(camera.pipeline);
    camera.width = width;
    camera.height = height;
    camera.fps = fps;
    camera.frame_bytes = static_cast<guint64>(width) * static_cast<guint64>(height) * 3;

    // Frames carry their times for players that look; nothing syncs on them.
    g_object_set(source, "format", GST_FORMAT_TIME, "block", FALSE, nullptr);
    GstCaps* rgb = gst_frames_caps(width, height, fps);
    gst_app_src_set_caps(camera.source, rgb);
    gst_caps_unref(rgb);
    // The queue drops the oldest frame rather than wait for the device.
    g_object_set(queue, "leaky", 2, "max-size-buffers", 2, "max-size-bytes", 0, "max-size-time",
                 static_cast<guint64>(0), nullptr);
    GstCaps* yuy2 = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "YUY2", nullptr);
    bool linked = gst_element_link(source, convert) && gst_element_link_filtered(convert, queue, yuy2) &&
                  gst_element_link(queue, sink);
    gst_caps_unref(yuy2);
    if (!linked) {
        *error = "cannot be used: its pipeline does not link";
        virtual_camera_close();
        return false;
    }
    if (gst_element_set_state(camera.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::string why = bus_error();
        *error = "cannot be used: " + (why.empty() ? std::string("its pipeline does not start") : why);
        virtual_camera_close();
        return false;
    }
    return true;
}

bool virtual_camera_open(const std::string& device, int width, int height, double fps)
{
    std::string why = loopback_problem(device);
    if (why.empty()) {
        GstElement* sink = nullptr;
        if (gst_frames_ready(&why) && (sink = gst_element_factory_make("v4l2sink", nullptr))) {
            g_object_set(sink, "device", device.c_str(), "sync", FALSE, nullptr);
            if (virtual_camera_open_sink(sink, width, height, fps, &why))
                return true;
        } else if (why.empty()) {
            why = "cannot be used: GStreamer's v4l2sink is missing";
        }
    }
    std::fprintf(stderr, "glowcam: virtual camera %s %s; %s\n", device.c_str(), why.c_str(),
                 how_to_make_one);
    return false;
}

bool virtual_camera_send(const unsigned char* rgb, long long first, long long count)
{
    if (!camera.pipeline)
        return false;
    std::string why = bus_error();
    if (!why.empty()) {
        std::fprintf(stderr, "glowcam: the virtual camera stopped: %s\n", why.c_str());
        virtual_camera_close();
        return false;
    }
    // The conversion runs on the source's own thread; when it falls behind,
    // frames wait here, and more than one waiting is dropped.
    if (gst_app_src_get_current_level_bytes(camera.source) >= camera.frame_bytes) {
        ++camera.dropped;
        return true;
    }
    auto start = [](long long frame) { return static_cast<GstClockTime>(std::llround(frame * 1e9 / camera.fps)); };
    GstBuffer* buffer = gst_frames_from_gl(rgb, camera.width, camera.height);
    GST_BUFFER_PTS(buffer) = start(first);
    GST_BUFFER_DURATION(buffer) = start(first + count) - GST_BUFFER_PTS(buffer);
    gst_app_src_push_buffer(camera.source, buffer);
    return true;
}

long long virtual_camera_dropped()
{
    return camera.dropped;
}

void virtual_camera_close()
{
    if (camera.pipeline)
        gst_element_set_state(camera.pipeline, GST_STATE_NULL);
    if (camera.bus)
        gst_object_unref(camera.bus);
    if (camera.source)
        gst_object_unref(camera.source);
    if (camera.pipeline)
        gst_object_unref(camera.pipeline);
    camera = VirtualCamera{};
}
