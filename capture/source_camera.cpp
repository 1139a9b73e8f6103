#include "capture/camera_mode.h"
#include "capture/capture.h"
#include "capture/source.h"
#include "capture/video_sample.h"
#include "core/settings.h"
#include "platform/media_pipeline.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The pipeline after its head (the device, named glowcam_src when its device
// is set) and the caps it is asked for. Everything is decoded and converted
// in the pipeline's own threads into studio-range BT.601 I420. JPEG comes in
// full range; videobalance's tables bring it to studio range (16 + 219/255 y,
// 128 + 224/255 (c - 128)), since videoconvert copies I420 to I420 as it is
// whatever the ranges. What a head without known sizes gives, decodebin
// takes as it comes. The sink keeps only the newest frame, so a slow main
// loop never queues.
std::string pipeline_tail(const CameraMode* mode)
{
    const std::string to_i420 = " ! videoconvert ! video/x-raw,format=I420";
    std::string tail = !mode ? " ! decodebin" : " ! capsfilter caps=\"" + camera_mode_caps(*mode) + "\"";
    if (mode && mode->jpeg)
        tail += " ! jpegdec" + to_i420 + " ! videobalance contrast=0.858824 brightness=0.053887 saturation=0.878431";
    else
        tail += to_i420 + ",colorimetry=bt601";
    return tail + " ! appsink name=glowcam_sink max-buffers=1 drop=true sync=false";
}

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
int wanted_width = 0, wanted_height = 0;  // --camera-size; 0: chosen for the window

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

// Starts the pipeline asking for the mode (null: what comes) and waits for
// its first frame.
bool start_mode(const std::string& head, const CameraMode* mode, int* width, int* height, std::string* why)
{
    cam.description = head + pipeline_tail(mode);
    if (!start_media(why))
        return false;
    GstSample* first = media_pipeline_first_sample(&cam.media, connect_timeout_s, "frame", why);
    if (!first)
        return false;
    video_sample_set(&cam.picture, first);
    if (video_sample_size(first, width, height))
        return true;
    *why = "the first frame is not I420 video";
    return false;
}

bool open_pipeline(const std::string& head, const std::string& device, int* width, int* height)
{
    camera_reset();
    cam.name = device.empty() ? head : device;
    cam.device = device;
    std::string why;
    GstCaps* caps = media_source_caps(head, &why, device.empty() ? nullptr : "device", device);
    if (!caps)
        return fail(why);
    const std::vector<CameraMode> offers = camera_modes_of(caps);
    gst_caps_unref(caps);
    // The size asked for where it is offered and gives frames, else the one
    // for the window.
    const char* name = cam.name.c_str();
    int pick = wanted_width != 0 ? camera_mode_find(offers, wanted_width, wanted_height) : -1;
    if (wanted_width != 0 && pick < 0)
        std::fprintf(stderr, "capture: %s: %dx%d is not among its sizes (%s); the size is chosen for the window\n",
                     name, wanted_width, wanted_height,
                     offers.empty() ? "it names none" : camera_modes_text(offers).c_str());
    const bool started = pick >= 0 && start_mode(head, &offers[pick], width, height, &why);
    if (pick >= 0 && !started)
        std::fprintf(stderr, "capture: %s: %s failed (%s); the size is chosen for the window\n", name,
                     camera_mode_text(offers[pick]).c_str(), why.c_str());
    if (!started) {
        pick = camera_mode_choose(offers, screen_width, screen_height);
        if (!start_mode(head, pick < 0 ? nullptr : &offers[pick], width, height, &why))
            return fail(pick < 0 ? why : camera_mode_text(offers[pick]) + ": " + why);
    }
    const std::string chosen =
        pick < 0 ? std::to_string(*width) + "x" + std::to_string(*height) : camera_mode_text(offers[pick]);
    std::fprintf(stderr, "capture: %s: %s\n", name, chosen.c_str());
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

void capture_select_camera_size(int width, int height)
{
    wanted_width = width;
    wanted_height = height;
}

bool camera_open_pipeline(const std::string& head, int* width, int* height)
{
    return open_pipeline(head, std::string(), width, height);
}

const CaptureSource camera_source = {"camera", camera_open, camera_frame, camera_close, false};
