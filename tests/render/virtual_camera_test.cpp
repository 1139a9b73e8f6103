#include "render/virtual_camera.h"

#include <gtest/gtest.h>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <vector>

namespace {

const int W = 64, H = 48;

TEST(VirtualCameraTest, SendsUprightYuy2FramesAndNeverWaitsForTheDevice)
{
    gst_init(nullptr, nullptr);
    // A device that takes one frame and then nothing until it is read.
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    g_object_set(sink, "sync", FALSE, "max-buffers", 1, "drop", FALSE, nullptr);
    GstAppSink* app = GST_APP_SINK(gst_object_ref(sink));
    std::string error;
    ASSERT_TRUE(virtual_camera_open_sink(sink, W, H, &error)) << error;

    // Red over blue on screen; GL gives the bottom (blue) rows first.
    std::vector<unsigned char> px(W * H * 3, 0);
    for (int i = 0; i < W * H; ++i)
        px[i * 3 + (i < W * H / 2 ? 2 : 0)] = 255;
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
    // Y U Y V of the first pixels of the top (red) and bottom (blue) rows.
    const int want[2][3] = {{81, 90, 240}, {41, 240, 110}};
    for (int k = 0; k < 2; ++k) {
        const unsigned char* p = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                                 k * (H - 1) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        EXPECT_NEAR(p[0], want[k][0], 3) << "row " << k * (H - 1);
        EXPECT_NEAR(p[1], want[k][1], 3) << "row " << k * (H - 1);
        EXPECT_NEAR(p[3], want[k][2], 3) << "row " << k * (H - 1);
    }
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);
    virtual_camera_close();
    gst_object_unref(app);
}

TEST(VirtualCameraTest, ADeviceThatIsNoLoopbackIsRefused)
{
    EXPECT_FALSE(virtual_camera_open("/dev/null", W, H));
    EXPECT_FALSE(virtual_camera_open("/dev/video-none", W, H));
}

}  // namespace
