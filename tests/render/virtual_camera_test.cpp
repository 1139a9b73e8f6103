#include "render/virtual_camera.h"

#include <gtest/gtest.h>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <cstdlib>
#include <vector>

namespace {

const int W = 64, H = 48;

// Red over blue as seen on screen; GL gives the bottom (blue) rows first.
std::vector<unsigned char> red_over_blue()
{
    std::vector<unsigned char> px(W * H * 3, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            px[(y * W + x) * 3 + (y < H / 2 ? 2 : 0)] = 255;
    return px;
}

// The Y, U and V of pixel (0, row) of a YUY2 frame.
void yuv_at(const GstVideoFrame& f, int row, int* y, int* u, int* v)
{
    const unsigned char* p = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0)) +
                             row * GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
    *y = p[0];
    *u = p[1];
    *v = p[3];
}

TEST(VirtualCameraTest, SendsUprightYuy2FramesAndNeverWaitsForTheDevice)
{
    gst_init(nullptr, nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    // A device that takes one frame and then nothing until it is read.
    g_object_set(sink, "sync", FALSE, "max-buffers", 1, "drop", FALSE, nullptr);
    GstAppSink* app = GST_APP_SINK(gst_object_ref(sink));
    std::string error;
    ASSERT_TRUE(virtual_camera_open_sink(sink, W, H, &error)) << error;

    std::vector<unsigned char> px = red_over_blue();
    for (int i = 0; i < 200; ++i)
        virtual_camera_send(px.data());

    GstSample* sample = gst_app_sink_try_pull_sample(app, 10 * GST_SECOND);
    ASSERT_NE(sample, nullptr);
    GstVideoInfo info;
    ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
    EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_YUY2);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), W);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), H);

    GstVideoFrame frame;
    ASSERT_TRUE(gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ));
    int y, u, v;
    yuv_at(frame, 0, &y, &u, &v);  // top: red
    EXPECT_NEAR(y, 81, 3);
    EXPECT_NEAR(u, 90, 3);
    EXPECT_NEAR(v, 240, 3);
    yuv_at(frame, H - 1, &y, &u, &v);  // bottom: blue
    EXPECT_NEAR(y, 41, 3);
    EXPECT_NEAR(u, 240, 3);
    EXPECT_NEAR(v, 110, 3);
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);

    virtual_camera_close();
    gst_object_unref(app);
}

TEST(VirtualCameraTest, ADeviceThatIsNoLoopbackIsRefused)
{
    gst_init(nullptr, nullptr);
    EXPECT_FALSE(virtual_camera_open("/dev/null", W, H));
    EXPECT_FALSE(virtual_camera_open("/dev/video-none", W, H));
    virtual_camera_send(red_over_blue().data());  // without a camera: nothing happens
}

}  // namespace
