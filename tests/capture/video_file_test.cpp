// Video files through GStreamer's decoders, made at test time with its
// encoders, and a camera that drops out and comes back.

#include "capture/source.h"
#include "platform/media_pipeline.h"
#include "tests/support/process.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const std::string dir = ::testing::TempDir() + "glowcam_video_file_" + std::to_string(getpid()) + "/";

// 10 frames at 10 fps of a moving ball, 160 x 90, with a sound track that the
// source must leave alone.
std::string make_clip(const std::string& name)
{
    std::filesystem::create_directories(dir);
    const std::string path = dir + name;
    std::string why;
    EXPECT_TRUE(media_ready(&why)) << why;
    const std::string description =
        "webmmux name=mux ! filesink location=" + path +
        " videotestsrc num-buffers=10 pattern=ball ! video/x-raw,width=160,height=90,framerate=10/1"
        " ! vp8enc deadline=1 ! mux. audiotestsrc num-buffers=10 ! audioconvert ! vorbisenc ! mux.";
    GstElement* p = gst_parse_launch(description.c_str(), nullptr);
    EXPECT_TRUE(p);
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(p);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                               static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    EXPECT_TRUE(m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS);
    if (m)
        gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return path;
}

// The luma plane of the source's frame for a show time.
std::vector<unsigned char> luma_at(const CaptureSource& s, double ms)
{
    CaptureFrame f;
    if (!s.frame(ms, &f) || !capture_frame_complete(f))
        return {};
    std::vector<unsigned char> y;
    for (int r = 0; r < f.height; ++r)
        y.insert(y.end(), f.planes[0] + r * f.strides[0], f.planes[0] + r * f.strides[0] + f.width);
    return y;
}

TEST(VideoFile, FramesFollowTheShowClockAndLoop)
{
    const std::string clip = make_clip("ball.webm");
    int w = 0, h = 0;
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 90);
    // Frame 2 at 250 ms; the clip is 1 s long, so again at 1250 and 3250 ms.
    const auto frame2 = luma_at(file_source, 250);
    ASSERT_FALSE(frame2.empty());
    EXPECT_NE(luma_at(file_source, 350), frame2);
    EXPECT_EQ(luma_at(file_source, 1250), frame2);
    EXPECT_EQ(luma_at(file_source, 3250), frame2);
    // Back in time, and reached straight from the start: the same frame.
    EXPECT_EQ(luma_at(file_source, 250), frame2);
    file_source.close();
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    EXPECT_EQ(luma_at(file_source, 5250), frame2);
    file_source.close();
}

TEST(VideoFile, CutFileLoopsAtTheCutAndUndecodableOneIsRefused)
{
    const std::string clip = make_clip("cut.webm");
    const auto size = std::filesystem::file_size(clip);
    std::filesystem::resize_file(clip, size * 6 / 10);
    int w = 0, h = 0;
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    const auto first = luma_at(file_source, 0);
    bool looped = false;
    for (int ms = 50; ms < 3000; ms += 100) {
        const auto y = luma_at(file_source, ms);
        ASSERT_FALSE(y.empty()) << ms;
        looped = looped || (ms > 100 && y == first);
    }
    EXPECT_TRUE(looped);
    file_source.close();

    std::ofstream(dir + "notes.mp4") << "not a video\n";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(file_source.open(dir + "notes.mp4", &w, &h));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot be played as video"), std::string::npos) << err;
}

// The camera stands in as a file that ends (the stream is lost), is gone at
// the first try 2 s later, and is back for the second.
TEST(VideoFile, LostCameraIsTriedEvery2sAndComesBack)
{
    const std::string clip = make_clip("camera.webm");
    int w = 0, h = 0;
    ASSERT_TRUE(camera_open_pipeline("filesrc location=" + clip, &w, &h));
    ::testing::internal::CaptureStderr();
    CaptureFrame f;
    std::string err;
    for (int i = 0; i < 5000 && err.find("video lost") == std::string::npos; ++i) {
        ASSERT_TRUE(camera_source.frame(1000, &f));
        g_usleep(2000);
        err = ::testing::internal::GetCapturedStderr();
        ::testing::internal::CaptureStderr();
    }
    ASSERT_NE(err.find("video lost"), std::string::npos) << err;
    std::filesystem::rename(clip, clip + ".away");
    for (double ms : {2999.0, 3000.0})
        ASSERT_TRUE(camera_source.frame(ms, &f));  // the last picture stays
    std::filesystem::rename(clip + ".away", clip);
    err.clear();
    for (double ms : {4999.0, 5000.0})
        for (int i = 0; i < 2000 && err.find("is back") == std::string::npos; ++i) {
            ASSERT_TRUE(camera_source.frame(ms, &f));
            g_usleep(2000);
            err += ::testing::internal::GetCapturedStderr();
            ::testing::internal::CaptureStderr();
            if (ms < 5000.0 && i == 50)
                break;  // no try before 2 s after the last one
        }
    err += ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("video is back"), std::string::npos) << err;
    EXPECT_EQ(err.find("video lost"), std::string::npos) << "one line each: " << err;
    camera_source.close();
}

// A render with a file camera is the same, frame for frame, every time.
TEST(VideoFile, RenderWithAWebmCameraRepeatsExactly)
{
    const std::string clip = make_clip("render.webm");
    std::string frames[2];
    for (int run = 0; run < 2; ++run) {
        const std::string out = dir + "render" + std::to_string(run);
        std::filesystem::remove_all(out);
        ProcessResult r = run_process({glowcam_exe(), "--render", out, "--camera", clip, "--duration", "1.5",
                                       "--fps", "10", "--size", "128x72", "--music", "/nonexistent/glowcam.ogg"});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find("Video device connected"), std::string::npos) << r.err;
        for (int i = 0; i < 15; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%06d.png", i);
            std::ifstream png(out + name, std::ios::binary);
            frames[run] += std::string(std::istreambuf_iterator<char>(png), {});
        }
    }
    EXPECT_GT(frames[0].size(), 15u * 100);
    EXPECT_EQ(frames[0], frames[1]);
}

}  // namespace
