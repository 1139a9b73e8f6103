#include "capture/source.h"
#include "capture/video_sample.h"
#include "platform/media_pipeline.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The pipeline after its head (the device, named glowcam_src when its device
// is set). The camera is asked for 640 x 480 where it offers that size, raw or
// as JPEG; otherwise it gives the size it has, never scaled, so the picture
// keeps its shape. decodebin takes what comes, and the conversion gives
// studio-range BT.601 I420. The sink keeps only the newest frame, so a slow
// main loop never queues.
const char* const pipeline_tail =
    " ! capsfilter caps=\"video/x-raw,width=640,height=480;image/jpeg,width=640,height=480;"
    "video/x-raw;image/jpeg\""
    " ! decodebin ! videoconvert ! video/x-raw,format=I420,colorimetry=bt601"
    " ! appsink name=glowcam_sink max-buffers=1 drop=true sync=false";

constexpr int connect_timeout_s = 3;
constexpr double retry_ms = 2000.0;

struct Camera {
    MediaPipeline media;
    std::string description;   // to open it again
    std::string device;        // empty for a pipeline head of its own
    std::string name;          // for messages: the device or the pipeline head
    VideoSample picture;       // the newest frame, shown again until a new one comes
    bool lost = false;         // no stream: the picture stays while it is tried again
    double next_try_ms = 0.0;  // show time of the next try while lost
};

Camera cam;

void camera_reset()
{
    video_sample_set(&cam.picture, nullptr);
    media_pipeline_close(&cam.media);
    cam = Camera{};
}

bool fail(const std::string& why)
{
    std::fprintf(stderr, "capture: %s: %s\n", cam.name.c_str(), why.c_str());
    camera_reset();
    return false;
}

bool start_media(std::string* why)
{
    return cam.device.empty() ? media_pipeline_open(&cam.media, cam.description, why)
                              : media_pipeline_open(&cam.media, cam.description, why, "device", cam.device);
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
    cam.device = device;
    cam.description = head + pipeline_tail;
    std::string why;
    if (!start_media(&why))
        return fail(why);
    GstSample* first = media_pipeline_first_sample(&cam.media, connect_timeout_s, "frame", &why);
    if (!first)
        return fail(why);
    video_sample_set(&cam.picture, first);
    if (!video_sample_size(first, width, height))
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

// While lost: a new pipeline every 2 s of show time until one gives a frame.
// Tries that fail say nothing; the line that the camera is back says enough.
void try_again(double show_ms)
{
    if (cam.media.pipeline) {
        if (GstSample* s = gst_app_sink_try_pull_sample(cam.media.sink, 0)) {
            video_sample_set(&cam.picture, s);
            cam.lost = false;
            std::fprintf(stderr, "capture: %s: video is back\n", cam.name.c_str());
            return;
        }
        if (media_pipeline_problem(&cam.media).empty() && show_ms < cam.next_try_ms)
            return;
        media_pipeline_close(&cam.media);
    }
    if (show_ms < cam.next_try_ms)
        return;
    cam.next_try_ms = show_ms + retry_ms;
    std::string why;
    start_media(&why);
}

bool camera_frame(double show_ms, CaptureFrame* out)
{
    if (!cam.picture.sample)
        return false;
    if (cam.lost) {
        try_again(show_ms);
    } else if (std::string why = media_pipeline_problem(&cam.media); !why.empty()) {
        std::fprintf(stderr,
                     "capture: %s: video lost (%s); the picture stays on the last frame and the camera is "
                     "tried again every 2 s\n",
                     cam.name.c_str(), why.c_str());
        media_pipeline_close(&cam.media);
        cam.lost = true;
        cam.next_try_ms = show_ms + retry_ms;
    } else if (GstSample* s = gst_app_sink_try_pull_sample(cam.media.sink, 0)) {
        video_sample_set(&cam.picture, s);
    }
    return video_sample_frame(&cam.picture, out);
}

void camera_close() { camera_reset(); }

}  // namespace

bool camera_open_pipeline(const std::string& head, int* width, int* height)
{
    return open_pipeline(head, std::string(), width, height);
}

const CaptureSource camera_source = {"camera", camera_open, camera_frame, camera_close, false};
