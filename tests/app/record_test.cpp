// --record as a crash leaves it: the show killed outright (SIGKILL) while it
// records still leaves a file that plays up to where it stopped.

#include "tests/support/process.h"
#include "tests/support/video_decode.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <signal.h>

namespace {

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
        // Frames reach the file at whatever pace the encoder keeps, dropped
        // while the machine is busy: wait until the file as it stands plays
        // five of them.
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(40);
        while (decode_video(path, false).frames < 5 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        kill(pid, SIGKILL);
    };
    ProcessResult r = run_process({glowcam_exe(), "--no-dialog", "--window", "--size", "320x240", "--camera",
                                   "test", "--no-vsync", "--music", GLOWCAM_BINARY_DIR "/music/tidewave.ogg",
                                   "--record", path},
                                  po);
    EXPECT_EQ(r.exit_code, -1) << r.err;  // killed
    EXPECT_GE(decode_video(path, true).frames, 5);
    std::filesystem::remove(path);
}

}  // namespace
