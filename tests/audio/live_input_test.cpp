// Live sound in place of the music, through the real GStreamer conversion:
// audiotestsrc stands in for the sound server, and a PulseAudio daemon of the
// test's own, where one is installed, for the real thing.

#include "audio/audio.h"
#include "audio/live_input.h"
#include "audio/sound_server.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double bin_one_hz = 44100.0 / 1024.0;

class LiveInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < spectrum_size; ++i)
            spectrum[i] = spectrum_prev[i] = 0.0f;
    }
    void TearDown() override { audio_shutdown(); }

    // Enough ticks for the smoothing to come within 1e-6 of the input.
    static void ticks(int n = 24)
    {
        for (int i = 0; i < n; ++i)
            spectrum_sample();
    }
    static float largest_from(int first)
    {
        float m = 0.0f;
        for (int i = first; i < spectrum_size; ++i)
            m = std::max(m, spectrum[i].load());
        return m;
    }
};

std::string sine_on_bin_one(double volume)
{
    return "audiotestsrc is-live=true samplesperbuffer=1024 wave=sine freq=" + std::to_string(bin_one_hz) +
           " volume=" + std::to_string(volume);
}

TEST_F(LiveInput, SineOnBinOneMovesThatBinAloneAndSilenceNothing)
{
    // A sine of amplitude 0.5 on bin 1 gives the magnitude 0.25 there, and the
    // spectrum its square root.
    ASSERT_TRUE(live_input_open_pipeline(sine_on_bin_one(0.5)));
    ticks();
    EXPECT_NEAR(spectrum[1].load(), 0.5f, 0.01f);
    EXPECT_LT(largest_from(3), 0.01f);
    SetUp();
    ASSERT_TRUE(live_input_open_pipeline("audiotestsrc is-live=true wave=silence"));
    ticks();
    EXPECT_EQ(largest_from(0), 0.0f);
}

TEST_F(LiveInput, LostInputSaysSoOnceAndFallsToZero)
{
    ASSERT_TRUE(live_input_open_pipeline(sine_on_bin_one(0.5) + " num-buffers=4"));
    ::testing::internal::CaptureStderr();
    float magnitudes[spectrum_size];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (live_input_fft1024(magnitudes) && std::chrono::steady_clock::now() < end)
        g_usleep(2000);
    ticks(40);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("is lost"), std::string::npos) << err;
    EXPECT_LT(largest_from(0), 1e-6f);
}

TEST_F(LiveInput, NoServerOrNoSourceIsOneLineNamingWhatWasTried)
{
    setenv("PULSE_SERVER", "unix:/nonexistent/glowcam-test", 1);
    for (const char* source : {"monitor", "mic", "glowcam-no-such-source"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(live_input_open(source));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("pactl list short sources"), std::string::npos) << err;
        EXPECT_NE(err.find(source == std::string("mic") ? "default input" : source), std::string::npos) << err;
        ticks();
        EXPECT_EQ(largest_from(0), 0.0f);
    }
    unsetenv("PULSE_SERVER");
}

// The desktop's case: a tone played into the default output reaches the
// spectrum through that output's monitor.
TEST_F(LiveInput, MonitorFollowsWhatTheServerPlays)
{
    if (run_process({"/bin/sh", "-c", "command -v pulseaudio"}).exit_code != 0)
        GTEST_SKIP() << "pulseaudio is not installed";
    char dir_template[] = "/tmp/glowcam-pulse-XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("HOME", dir.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir + "/native").c_str(), 1);
    const pid_t server = fork();
    if (server == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives a failed test
        execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--system=false",
               "--disallow-exit", "--log-level=error", "--load=module-null-sink sink_name=glowcam_test",
               ("--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/native").c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(server, 0);
    std::string monitor, input, why;
    for (int i = 0; i < 100 && !sound_server_defaults(&monitor, &input, &why); ++i)
        g_usleep(100000);
    EXPECT_EQ(monitor, "glowcam_test.monitor") << why;
    EXPECT_TRUE(live_input_open("monitor"));
    GstElement* tone = gst_parse_launch(
        ("audiotestsrc is-live=true volume=0.5 freq=" + std::to_string(bin_one_hz) + " ! pulsesink").c_str(),
        nullptr);
    EXPECT_TRUE(tone);
    if (tone)
        gst_element_set_state(tone, GST_STATE_PLAYING);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::abs(spectrum[1].load() - 0.5f) > 0.02f && std::chrono::steady_clock::now() < end) {
        spectrum_sample();
        g_usleep(25000);
    }
    EXPECT_NEAR(spectrum[1].load(), 0.5f, 0.02f);
    EXPECT_LT(largest_from(3), 0.05f);
    if (tone) {
        gst_element_set_state(tone, GST_STATE_NULL);
        gst_object_unref(tone);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    unsetenv("PULSE_SERVER");
    std::filesystem::remove_all(dir);
}

}  // namespace
