// The live show as a camera: into an appsink in place of the device, and
// devices it cannot use.

#include "render/virtual_camera.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <fstream>

static struct stat fake_loopback;

// The driver's answer for one file that stands in as a v4l2loopback device;
// every other request goes to the kernel.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    auto* cap = va_arg(args, v4l2_capability*);
    va_end(args);
    struct stat st;
    if (request != VIDIOC_QUERYCAP || fstat(fd, &st) != 0 || st.st_ino != fake_loopback.st_ino)
        return static_cast<int>(syscall(SYS_ioctl, fd, request, cap));
    *cap = {};
    std::strcpy(reinterpret_cast<char*>(cap->driver), "v4l2 loopback");
    cap->capabilities = V4L2_CAP_VIDEO_OUTPUT;
    return 0;
}

namespace {

const int W = 64, H = 48;

// Red over blue on screen, as GL gives it (the bottom rows first), into a
// device that takes one frame and then nothing until it is read: sending
// never waits, and a picture for three frames of 24 a second arrives upright
// in YUY2, timed from its first frame for all three.
TEST(VirtualCameraTest, SendsUprightYuy2FramesAtItsRateAndNeverWaitsForTheDevice)
{
    gst_init(nullptr, nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    g_object_set(sink, "sync", FALSE, "max-buffers", 1, "drop", FALSE, nullptr);
    GstAppSink* app = GST_APP_SINK(gst_object_ref(sink));
    std::string error;
    ASSERT_TRUE(virtual_camera_open_sink(sink, W, H, 24.0, &error)) << error;
    GWeakRef bus;
    g_weak_ref_init(&bus, GST_ELEMENT_BUS(GST_OBJECT_PARENT(sink)));
    std::vector<unsigned char> px(W * H * 3, 0);
    for (int i = 0; i < W * H; ++i)
        px[i * 3 + (i < W * H / 2 ? 2 : 0)] = 255;
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(virtual_camera_send(px.data(), 2 + 3 * i, 3));

    GstSample* sample = gst_app_sink_try_pull_sample(app, 10 * GST_SECOND);
    ASSERT_TRUE(sample);
    // The first the device took: the leaky queue may drop the oldest.
    const double at = GST_BUFFER_PTS(gst_sample_get_buffer(sample)) * 24 / 1e9;
    EXPECT_TRUE(std::abs(at - std::round(at)) < 1e-6 && std::llround(at) % 3 == 2) << at;
    EXPECT_NEAR(GST_BUFFER_DURATION(gst_sample_get_buffer(sample)) / 1e9, 3 / 24.0, 1e-9);
    GstVideoInfo info;
    GstVideoFrame frame;
    ASSERT_TRUE(sample && gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
                gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ));
    EXPECT_TRUE(info.finfo->format == GST_VIDEO_FORMAT_YUY2 && info.width == W && info.height == H &&
                info.fps_n == 24 && info.fps_d == 1);
    // Y U Y V of the first pixels of the top (red) and bottom (blue) rows.
    const int want[2][3] = {{81, 90, 240}, {41, 240, 110}};
    for (int k = 0; k < 2; ++k) {
        const unsigned char* p = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                                 k * (H - 1) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        EXPECT_TRUE(std::abs(p[0] - want[k][0]) <= 3 && std::abs(p[1] - want[k][1]) <= 3 &&
                    std::abs(p[3] - want[k][2]) <= 3) << "row " << k * (H - 1) << ": " << int(p[0]) << " " << int(p[1]);
    }
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);
    // The device fails (its module unloaded, say): one line, and the camera
    // closes rather than failing again on every frame.
    GError* gone = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE, "Device gone.");
    gst_element_post_message(sink, gst_message_new_error(GST_OBJECT(sink), gone, nullptr));
    g_error_free(gone);
    ::testing::internal::CaptureStderr();
    GstObject* left = nullptr;  // until the elements' threads have let go of it
    for (int ms = 0; ms < 2000 && (left = static_cast<GstObject*>(g_weak_ref_get(&bus))); ++ms) {
        gst_object_unref(left);
        virtual_camera_send(px.data(), 0, 1);
        g_usleep(1000);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "glowcam: the virtual camera stopped: Device gone\n");
    EXPECT_EQ(left, nullptr) << "closing frees the pipeline and its bus";
    EXPECT_FALSE(virtual_camera_send(px.data(), 0, 1)) << "no frames are read for a camera that stopped";
    gst_object_unref(app);
}

// Each is refused with one line that says how to make a device: no device,
// no video device, a loopback device that GStreamer's v4l2sink cannot use
// (a file that says it is one); and a GStreamer without appsrc.
TEST(VirtualCameraTest, DevicesThatCannotBeUsedAreRefusedWithOneLine)
{
    const std::string fake = ::testing::TempDir() + "glowcam-fake-loopback";
    std::ofstream(fake) << "";
    ASSERT_EQ(stat(fake.c_str(), &fake_loopback), 0);
    for (const std::string& device : {std::string("/dev/video-none"), std::string("/dev/null"), fake}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(virtual_camera_open(device, W, H, 30.0));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(std::count(err.begin(), err.end(), '\n') == 1 && err.find(device) != std::string::npos &&
                    err.find("modprobe v4l2loopback") != std::string::npos && err.find("missing") == std::string::npos) << err;
    }
    GstPluginFeature* appsrc = gst_registry_lookup_feature(gst_registry_get(), "appsrc");
    gst_registry_remove_feature(gst_registry_get(), appsrc);
    std::string error;
    EXPECT_FALSE(virtual_camera_open_sink(gst_element_factory_make("appsink", nullptr), W, H, 30.0, &error));
    EXPECT_NE(error.find("appsrc"), std::string::npos) << error;
    gst_registry_add_feature(gst_registry_get(), appsrc);
}

}  // namespace
