// The real program under faults: signals, a camera file cut mid-show, damaged
// music, and machines without a sound device, a camera or a display.

#include "tests/audio/audio_files.h"
#include "tests/reliability/show_support.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* title = "OpenGL framework";
const std::string demo_track = GLOWCAM_BINARY_DIR "/music/tidewave.ogg";

int count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class ShowFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.ok()) << "Xvfb did not start";
        stats = temp_path(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".stats");
    }
    void TearDown() override { std::filesystem::remove(stats); }

    // The show, windowed unless asked otherwise, on the null sound output;
    // `during` runs with the child's pid while it does.
    ProcessResult run(std::vector<std::string> args, const std::function<void(int pid)>& during,
                      std::vector<std::string> env = {})
    {
        args.insert(args.begin(), {glowcam_exe(), "--no-dialog"});
        ProcessOptions po;
        po.env = {"DISPLAY=" + x.display(), "ALSOFT_DRIVERS=null", "GLOWCAM_FRAME_STATS=" + stats};
        po.env.insert(po.env.end(), env.begin(), env.end());
        po.unset_env = {"SDL_VIDEODRIVER"};
        po.while_running = during;
        return run_process(args, po);
    }
    // Runs until the loop has drawn for `seconds` seconds, then closes the window.
    std::function<void(int)> show_for(std::size_t seconds)
    {
        return [this, seconds](int) {
            EXPECT_TRUE(wait_for_frame_stats(stats, seconds, 20)) << "the show never drew";
            EXPECT_TRUE(x11_close_window(x.display(), title, 10));
        };
    }
    long frames_drawn() const
    {
        long n = 0;
        for (const FrameStatsLine& l : read_frame_stats(stats))
            n += l.frames;
        return n;
    }

    Xvfb x{1024, 768};
    std::string stats;
};

std::vector<std::string> windowed(const std::string& camera, const std::string& music)
{
    return {"--window", "--size", "320x240", "--camera", camera, "--music", music};
}

}  // namespace

TEST_F(ShowFault, SigintAndSigtermDuringTheShowEndItNormally)
{
    for (int sig : {SIGINT, SIGTERM}) {
        std::filesystem::remove(stats);
        ProcessResult r = run(windowed("test", demo_track), [&](int pid) {
            ASSERT_TRUE(wait_for_frame_stats(stats, 2, 20));
            kill(pid, sig);
        });
        EXPECT_FALSE(r.timed_out) << strsignal(sig);
        EXPECT_EQ(r.exit_code, 0) << strsignal(sig) << "\n" << r.err;
        EXPECT_EQ(r.err.find("Cannot close"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("error"), std::string::npos) << r.err;
    }
}

TEST_F(ShowFault, CameraFileCutMidFrameFreezesThePictureWithOneLine)
{
    // 20 frames of 64x48 at 25 frames a second, looping every 0.8 s.
    const std::string path = temp_path("cut.y4m");
    const std::string header = "YUV4MPEG2 W64 H48 F25:1\n";
    const std::size_t frame = 6 + 64 * 48 * 3 / 2;
    {
        std::ofstream out(path, std::ios::binary);
        out << header;
        for (int n = 0; n < 20; ++n)
            out << "FRAME\n" << std::string(frame - 6, static_cast<char>(16 + 10 * n));
    }
    long before = 0;
    ProcessResult r = run(windowed(path, demo_track), [&](int) {
        ASSERT_TRUE(wait_for_frame_stats(stats, 2, 20));
        // Cut inside frame 7: every frame from there on is short.
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size() + 7 * frame + frame / 2)), 0);
        before = frames_drawn();
        EXPECT_TRUE(wait_for_frame_stats(stats, 5, 20));
        EXPECT_TRUE(x11_close_window(x.display(), title, 10));
    });
    std::filesystem::remove(path);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_GT(frames_drawn(), before) << "the show stopped drawing";
    EXPECT_EQ(count_of(r.err, "capture: skipping"), 1) << r.err;
    EXPECT_EQ(r.err.find("Cannot close"), std::string::npos) << r.err;
}

TEST_F(ShowFault, DamagedMusicPlaysOnRoundItsLoop)
{
    // Three seconds of tone and noise, so that a few seconds of show pass the
    // damage more than once.
    const std::vector<float> sound = make_signal(3 * 44100, 2, [](int i) {
        const unsigned hash = static_cast<unsigned>(i) * 2654435761u;
        return bin1_sine(i, 0.4f) + 0.1f * (static_cast<float>(hash >> 8) / 16777216.0f - 0.5f);
    });
    std::string bytes;
    {
        std::ifstream in(write_ogg("damaged-source.ogg", 44100, 2, sound), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string garbage = bytes;
    for (std::size_t i = garbage.size() / 2; i < garbage.size() / 2 + 2000; ++i)
        garbage[i] = static_cast<char>(i * 13);
    for (const std::string& damaged : {bytes.substr(0, bytes.size() / 2), garbage}) {
        std::filesystem::remove(stats);
        const std::string path = write_bytes("damaged.ogg", damaged);
        ProcessResult r = run(windowed("test", path), show_for(5));
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err.find("bass error"), std::string::npos) << r.err;
    }
}

TEST_F(ShowFault, NoSoundDeviceAndNoCameraEachSayItAndTheShowRuns)
{
    ProcessResult r = run(windowed("auto", demo_track), show_for(2),
                          {"ALSOFT_DRIVERS=no-such-backend", "ALSOFT_LOGLEVEL=0"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("bass error: Can't initialize sound device"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Error: Cannot open video device"), std::string::npos) << r.err;
}

TEST(NoDisplay, TheShowAndTheDialogEachExitWithTheirCode)
{
    ProcessOptions po;
    po.unset_env = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    ProcessResult show = run_process({glowcam_exe(), "--no-dialog", "--camera", "none", "--no-sound"}, po);
    EXPECT_FALSE(show.timed_out);
    EXPECT_EQ(show.exit_code, 255) << show.err;
    EXPECT_EQ(show.out, "ERROR: registrazione della Window Class fallita.\n");

    ProcessResult dialog = run_process({glowcam_exe()}, po);
    EXPECT_FALSE(dialog.timed_out);
    EXPECT_EQ(dialog.exit_code, 1) << dialog.err;
    EXPECT_NE(dialog.err.find("DISPLAY"), std::string::npos) << dialog.err;
}

TEST_F(ShowFault, SigtermDuringTheDialogEndsTheProgram)
{
    ProcessOptions po;
    po.env = {"DISPLAY=" + x.display()};
    po.unset_env = {"SDL_VIDEODRIVER"};
    po.while_running = [&](int pid) {
        ASSERT_TRUE(x11_wait_for_window(x.display(), "Config:", 30));
        kill(pid, SIGTERM);
    };
    ProcessResult r = run_process({glowcam_exe()}, po);
    EXPECT_FALSE(r.timed_out);
    EXPECT_FALSE(x11_wait_for_window(x.display(), "Config:", 0));
}

TEST(RenderInterrupted, SigtermStopsBetweenFramesWithExitOne)
{
    const std::string dir = temp_path("render");
    ProcessOptions po;
    po.while_running = [&](int pid) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!std::filesystem::exists(dir + "/frame-000002.png") && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        kill(pid, SIGTERM);
    };
    ProcessResult r = run_process({glowcam_exe(), "--render", dir, "--duration", "3600", "--size", "320x240",
                                   "--camera", "test", "--music", demo_track},
                                  po);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("glowcam: interrupted after "), std::string::npos) << r.err;
    // Every frame written is whole: no half-written file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
    std::filesystem::remove_all(dir);
}
