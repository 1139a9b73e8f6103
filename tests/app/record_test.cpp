// --record as a crash leaves it: the show killed outright (SIGKILL) while it
// records still leaves a file that plays up to where it stopped.

#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <signal.h>

namespace {

// Video frames decoded before the file ends or breaks off.
int playable_frames(const std::string& path)
{
    gst_init(nullptr, nullptr);
    GstElement* pipeline = gst_parse_launch(
        "filesrc name=src ! matroskademux name=d d.video_0 ! queue ! vp8dec ! appsink name=v sync=false"
        " wait-on-eos=false d.audio_0 ! queue ! opusdec ! fakesink",
        nullptr);
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstElement* v = gst_bin_get_by_name(GST_BIN(pipeline), "v");
    g_object_set(src, "location", path.c_str(), nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    int frames = 0;
    while (GstSample* s = gst_app_sink_try_pull_sample(GST_APP_SINK(v), 5 * GST_SECOND)) {
        ++frames;
        gst_sample_unref(s);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(src);
    gst_object_unref(v);
    gst_object_unref(pipeline);
    return frames;
}

TEST(Record, AShowKilledWhileRecordingLeavesAFileThatPlays)
{
    const std::string path = ::testing::TempDir() + "glowcam-record-test.webm";
    std::filesystem::remove(path);
    Xvfb x(1024, 768);
    ASSERT_TRUE(x.ok());
    ProcessOptions po;
    po.env = {"DISPLAY=" + x.display()};
    po.unset_env = {"SDL_VIDEODRIVER"};
    std::string display = x.display();
    po.while_running = [&](int pid) {
        EXPECT_TRUE(x11_wait_for_window(display, "OpenGL framework", 60));
        // Two clusters of the file are on disk by about a second of show.
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(40);
        for (std::error_code ec; std::chrono::steady_clock::now() < give_up;) {
            auto size = std::filesystem::file_size(path, ec);
            if (!ec && size > 150000)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGKILL);
    };
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera",
                                   "test", "--no-vsync", "--music", GLOWCAM_BINARY_DIR "/music/tidewave.ogg",
                                   "--record", path},
                                  po);
    EXPECT_EQ(r.exit_code, -1) << r.err;  // killed
    EXPECT_GE(playable_frames(path), 10);
    std::filesystem::remove(path);
}

}  // namespace
