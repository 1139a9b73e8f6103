#include "capture/source.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The pipeline after its head (the device, named glowcam_src when its device
// is set). The camera is asked for 640 x 480; decodebin takes whatever it sends
// (raw or compressed), and the conversion gives studio-range BT.601 I420.
// The sink keeps only the newest frame, so a slow main loop never queues.
const char* const pipeline_tail =
    " ! decodebin ! videoconvert ! videoscale"
    " ! video/x-raw,format=I420,width=640,height=480,colorimetry=bt601"
    " ! appsink name=glowcam_sink max-buffers=1 drop=true sync=false";

constexpr GstClockTime connect_timeout = 3 * GST_SECOND;
constexpr GstClockTime poll_step = 20 * GST_MSECOND;

struct Camera {
    GstElement* pipeline = nullptr;
    GstAppSink* sink = nullptr;
    GstBus* bus = nullptr;
    std::string name;          // for messages: the device or the pipeline head
    GstSample* sample = nullptr;  // the newest frame, shown again until a new one comes
    GstVideoFrame mapped{};
    bool is_mapped = false;
    bool lost = false;
};

Camera cam;

bool gst_ready()
{
    static int state = 0;  // 0 not tried, 1 running, -1 failed; main thread only
    if (state == 0) {
        GError* err = nullptr;
        state = gst_init_check(nullptr, nullptr, &err) ? 1 : -1;
        if (state < 0)
            std::fprintf(stderr, "capture: GStreamer cannot start: %s\n", err ? err->message : "unknown error");
        g_clear_error(&err);
    }
    return state > 0;
}

void unmap_frame()
{
    if (cam.is_mapped)
        gst_video_frame_unmap(&cam.mapped);
    cam.is_mapped = false;
}

void camera_reset()
{
    unmap_frame();
    if (cam.sample)
        gst_sample_unref(cam.sample);
    if (cam.pipeline)
        gst_element_set_state(cam.pipeline, GST_STATE_NULL);  // stops the streaming threads
    if (cam.bus)
        gst_object_unref(cam.bus);
    if (cam.sink)
        gst_object_unref(cam.sink);
    if (cam.pipeline)
        gst_object_unref(cam.pipeline);
    cam = Camera{};
}

// An error or end of stream waiting on the bus, as one line; empty when none.
std::string bus_problem()
{
    GstMessage* msg = gst_bus_pop_filtered(
        cam.bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    if (!msg)
        return {};
    std::string why = "the stream ended";
    if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
        GError* err = nullptr;
        gst_message_parse_error(msg, &err, nullptr);
        why = err ? err->message : "unknown error";
        g_clear_error(&err);
    }
    gst_message_unref(msg);
    return why;
}

bool fail(const std::string& why)
{
    std::fprintf(stderr, "capture: %s: %s\n", cam.name.c_str(), why.c_str());
    camera_reset();
    return false;
}

bool sample_size(GstSample* sample, int* width, int* height)
{
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    if (!caps || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420)
        return false;
    *width = GST_VIDEO_INFO_WIDTH(&info);
    *height = GST_VIDEO_INFO_HEIGHT(&info);
    return *width > 0 && *height > 0;
}

// The first device node that captures video, as the kernel numbers them.
std::string first_capture_device()
{
    for (int n = 0; n < 64; ++n) {
        std::string path = "/dev/video" + std::to_string(n);
        int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        v4l2_capability cap{};
        bool capture = false;
        if (::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
            unsigned caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
            capture = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
        }
        ::close(fd);
        if (capture)
            return path;
    }
    return {};
}

bool open_pipeline(const std::string& head, const std::string& device, int* width, int* height)
{
    camera_reset();
    cam.name = device.empty() ? head : device;
    if (!gst_ready())
        return fail("GStreamer is not available");

    GError* err = nullptr;
    std::string description = head + pipeline_tail;
    cam.pipeline = gst_parse_launch(description.c_str(), &err);
    if (!cam.pipeline || err) {
        std::string why = err ? err->message : "unknown error";
        g_clear_error(&err);
        return fail("cannot build the video pipeline: " + why);
    }
    cam.sink = GST_APP_SINK(gst_bin_get_by_name(GST_BIN(cam.pipeline), "glowcam_sink"));
    cam.bus = gst_element_get_bus(cam.pipeline);
    if (!device.empty()) {
        GstElement* src = gst_bin_get_by_name(GST_BIN(cam.pipeline), "glowcam_src");
        if (!src)
            return fail("the video pipeline has no device element");
        g_object_set(src, "device", device.c_str(), nullptr);
        gst_object_unref(src);
    }

    if (gst_element_set_state(cam.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::string why = bus_problem();
        return fail(why.empty() ? "the video pipeline does not start" : why);
    }
    // Errors may also come later, while the device is negotiated: watch the
    // bus until the first frame or the time-out.
    GstSample* first = nullptr;
    gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(connect_timeout / GST_USECOND);
    while (!first) {
        std::string why = bus_problem();
        if (!why.empty())
            return fail(why);
        if (gst_app_sink_is_eos(cam.sink))
            return fail("the stream ended before the first frame");
        if (g_get_monotonic_time() >= deadline)
            return fail("no frame within 3 s");
        first = gst_app_sink_try_pull_sample(cam.sink, poll_step);
    }
    cam.sample = first;
    if (!sample_size(first, width, height))
        return fail("the first frame is not I420 video");
    return true;
}

bool camera_open(const std::string& spec, int* width, int* height)
{
    std::string device = spec;
    if (spec.empty() || spec == "auto") {
        device = first_capture_device();
        if (device.empty()) {
            std::fprintf(stderr, "capture: no camera found (no /dev/video* device captures video)\n");
            return false;
        }
    }
    return open_pipeline("v4l2src name=glowcam_src", device, width, height);
}

bool camera_frame(double, CaptureFrame* out)
{
    if (!cam.pipeline)
        return false;
    if (!cam.lost) {
        std::string why = bus_problem();
        if (!why.empty()) {
            std::fprintf(stderr, "capture: %s: video lost (%s); the picture stays on the last frame\n",
                         cam.name.c_str(), why.c_str());
            cam.lost = true;
        } else if (GstSample* s = gst_app_sink_try_pull_sample(cam.sink, 0)) {
            unmap_frame();
            gst_sample_unref(cam.sample);
            cam.sample = s;
        }
    }
    if (!cam.is_mapped) {
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(cam.sample);
        GstBuffer* buffer = gst_sample_get_buffer(cam.sample);
        if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
            GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420 ||
            !gst_video_frame_map(&cam.mapped, &info, buffer, GST_MAP_READ))
            return false;
        cam.is_mapped = true;
    }
    // The mapping checked that the buffer holds every plane at its stride.
    const GstVideoFrame& f = cam.mapped;
    out->width = GST_VIDEO_FRAME_WIDTH(&f);
    out->height = GST_VIDEO_FRAME_HEIGHT(&f);
    for (int p = 0; p < 3; ++p) {
        int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&f, p);
        int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&f, p);
        out->planes[p] = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&f, p));
        out->strides[p] = stride;
        out->sizes[p] = rows > 0 && stride > 0
                            ? static_cast<std::size_t>(stride) * (rows - 1) + GST_VIDEO_FRAME_COMP_WIDTH(&f, p)
                            : 0;
    }
    return true;
}

void camera_close() { camera_reset(); }

}  // namespace

bool camera_open_pipeline(const std::string& head, int* width, int* height)
{
    return open_pipeline(head, std::string(), width, height);
}

const CaptureSource camera_source = {"camera", camera_open, camera_frame, camera_close, false};
