// The camera's GStreamer path, fed by videotestsrc in place of a device.

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "capture/yuv.h"
#include "platform/message_box.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct Opened {
    bool ok;
    int w, h;
    std::string err;
};

Opened open_head(const std::string& head)
{
    Opened o{false, 0, 0, {}};
    ::testing::internal::CaptureStderr();
    o.ok = camera_open_pipeline(head, &o.w, &o.h);
    o.err = ::testing::internal::GetCapturedStderr();
    return o;
}

std::string head_for_test;
const CaptureSource test_camera = {
    "test camera",
    [](const std::string&, int* w, int* h) { return camera_open_pipeline(head_for_test, w, h); },
    camera_source.frame,
    camera_source.close,
    false};

bool quiet_box(const std::string&, const std::string&, MessageBoxKind) { return true; }

}  // namespace

// 640 x 480 where the camera offers it; otherwise its own size, not scaled.
TEST(CameraPipeline, Asks640x480ElseTakesTheCamerasSize)
{
    const struct {
        const char* head;
        int w, h;
    } cases[] = {{"videotestsrc is-live=true pattern=white", 640, 480},
                 {"videotestsrc is-live=true pattern=white ! video/x-raw,width=175,height=143", 175, 143},
                 {"videotestsrc is-live=true pattern=white ! video/x-raw,width=1280,height=720", 1280, 720}};
    for (const auto& c : cases) {
        Opened o = open_head(c.head);
        ASSERT_TRUE(o.ok) << o.err;
        EXPECT_EQ(o.w, c.w);
        EXPECT_EQ(o.h, c.h);
        CaptureFrame f;
        ASSERT_TRUE(camera_source.frame(0, &f));
        EXPECT_TRUE(capture_frame_complete(f));
        EXPECT_EQ(f.width, c.w);
        EXPECT_EQ(f.height, c.h);
        // Studio-range white, to the last row.
        const int r = c.h - 1, x = c.w - 1;
        EXPECT_NEAR(f.planes[0][r * f.strides[0] + x], 235, 2);
        EXPECT_NEAR(f.planes[1][r / 2 * f.strides[1] + x / 2], 128, 2);
        EXPECT_NEAR(f.planes[2][r / 2 * f.strides[2] + x / 2], 128, 2);
        // Asked again with no new frame yet, it gives a frame all the same.
        ASSERT_TRUE(camera_source.frame(0, &f));
        EXPECT_TRUE(capture_frame_complete(f));
        camera_source.close();
    }
}

TEST(CameraPipeline, MissingDeviceFailsWithOneLine)
{
    struct stat st;
    const std::string device = "/dev/video-glowcam-missing";
    ASSERT_NE(stat(device.c_str(), &st), 0);
    int w = 0, h = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(camera_source.open(device, &w, &h));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("capture: " + device + ": ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(CameraPipeline, AutoWithoutACameraSaysSo)
{
    struct stat st;
    if (stat("/dev/video0", &st) == 0)
        GTEST_SKIP() << "this machine has a video device";
    int w = 0, h = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(camera_source.open("auto", &w, &h));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no camera found"), std::string::npos) << err;
}

TEST(CameraPipeline, BrokenPipelineFailsAtConnect)
{
    Opened o = open_head("videotestsrc is-live=true ! video/x-raw,format=NOSUCH");
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.err.find("capture: "), std::string::npos) << o.err;
}

TEST(CameraPipeline, NoFrameWithinThreeSecondsFailsTheConnect)
{
    Opened o = open_head("videotestsrc is-live=true ! valve drop=true");
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.err.find("no frame within 3 s"), std::string::npos) << o.err;
}

class CameraToTexture : public GlTest {
protected:
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        capdrv_use_source(nullptr);
        message_box_set_hook(nullptr);
        GlTest::TearDown();
    }
};

TEST_F(CameraToTexture, RedPictureReachesTheTexture)
{
    message_box_set_hook(quiet_box);
    head_for_test = "videotestsrc is-live=true pattern=red";
    capdrv_use_source(&test_camera);
    ASSERT_TRUE(capture_connect(0));
    EXPECT_EQ(video_width, 640);
    EXPECT_EQ(video_height, 480);
    EXPECT_EQ(video_tex_width, 1024);
    EXPECT_EQ(video_tex_height, 512);
    for (int i = 0; i < 2; ++i) {
        CaptureFrame f;
        ASSERT_TRUE(capdrv_frame(0, &f));
        capture_frame_callback(f);
    }
    std::vector<unsigned char> t(static_cast<std::size_t>(video_tex_width) * video_tex_height * 3);
    glBindTexture(GL_TEXTURE_2D, video_texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, t.data());
    const unsigned char* p = &t[(static_cast<std::size_t>(240) * video_tex_width + 320) * 3];
    EXPECT_TRUE(near_rgb({p[0], p[1], p[2]}, {255, 0, 0}, 8));
    p = &t[(static_cast<std::size_t>(479) * video_tex_width + 639) * 3];
    EXPECT_TRUE(near_rgb({p[0], p[1], p[2]}, {255, 0, 0}, 8));
}
