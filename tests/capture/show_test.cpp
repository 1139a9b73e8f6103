// The program with each kind of camera: what it says at start and at exit.

#include "tests/capture/y4m_writer.h"
#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// Runs the show windowed under a private X server and closes its window
// once it is up.
ProcessResult run_show_with_camera(const std::string& camera)
{
    Xvfb x(1024, 768);
    EXPECT_TRUE(x.ok());
    ProcessOptions po;
    po.env = {"DISPLAY=" + x.display()};
    po.unset_env = {"SDL_VIDEODRIVER"};
    std::string display = x.display();
    po.while_running = [display](int) { EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 20)); };
    return run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "640x480", "--camera", camera,
                        "--no-sound", "--music", "/nonexistent/glowcam-test.ogg"},
                       po);
}

}  // namespace

TEST(ShowCamera, NoneRunsWithoutVideoAndExitsWithoutACloseBox)
{
    ProcessResult r = run_show_with_camera("none");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("Error: Cannot open video device\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Cannot close video device"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Video device connected"), std::string::npos) << r.err;
}

TEST(ShowCamera, TestPatternConnectsAndTheShowEndsCleanly)
{
    ProcessResult r = run_show_with_camera("test");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("Information: Video device connected :)\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Cannot"), std::string::npos) << r.err;
}

TEST(ShowCamera, BadFileSaysWhyAndRunsOn)
{
    std::string path = y4m_test_path("show_truncated");
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W8 H8 F25:1", 8, 8, {{100, 100, 100}, {100, 100, 100}}, {}, 7));
    ProcessResult r = run_show_with_camera(path);
    std::filesystem::remove(path);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("capture: " + path + ": truncated: frame 1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error: Cannot open video device\n"), std::string::npos) << r.err;
}

// Offline, a file camera's frame for each frame's show time is drawn.
TEST(ShowCamera, RenderWithAFileCamera)
{
    std::string path = y4m_test_path("show_render");
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W32 H24 F5:1", 32, 24, {{80, 60, 200}, {160, 200, 60}}));
    std::string dir = ::testing::TempDir() + "glowcam_capture_render";
    std::filesystem::remove_all(dir);
    ProcessResult r = run_process({glowcam_exe(), "--render", dir, "--camera", path, "--duration", "0.4",
                                   "--fps", "5", "--size", "160x120", "--music", "/nonexistent/glowcam-test.ogg"});
    std::filesystem::remove(path);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("Information: Video device connected :)\n"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir + "/frame-000001.png"));
    std::filesystem::remove_all(dir);
}
