// The audio paths that run in real time: the 25 ms timer, OpenAL Soft's null
// output (mixes like a sound card, no card needed), a machine with no output,
// live input through GStreamer, and the demo track. CTest runs each test in a
// process of its own, so it can choose OpenAL's drivers before the library
// first reads them.

#include "audio/audio.h"
#include "audio/live_input.h"
#include "audio/output.h"
#include "audio/sound_error.h"
#include "audio/sound_server.h"
#include "audio/stream.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "platform/periodic_timer.h"
#include "tests/audio/audio_files.h"
#include "tests/support/process.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

constexpr int rate = 44100;

float largest_from(int first)
{
    float m = 0.0f;
    for (int i = first; i < spectrum_size; ++i)
        m = std::max(m, spectrum[i].load());
    return m;
}
// Waits, up to a generous limit, for another thread to get somewhere.
bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = 20s)
{
    const auto end = steady::now() + limit;
    while (!done() && steady::now() < end)
        std::this_thread::sleep_for(2ms);
    return done();
}
// Silence, then a 0.5 sine on bin 1, half a second each.
std::string halves()
{
    return write_wav("halves.wav", rate, 2, make_signal(rate, 2, [](int i) { return i < rate / 2 ? 0.0f : bin1_sine(i, 0.5f); }));
}

TEST(PeriodicTimer, StaysOnTheGridTicksUntilKilledAndNeverAfter)
{
    const steady::time_point t0{};
    // Late: the next grid point, not now + period; far behind: the missed
    // ticks are skipped, not fired in a burst; a thousand ticks on, no drift.
    const std::pair<int, int> deadlines[] = {{25, 50}, {27, 50}, {49, 50}, {1010, 1025}, {25000, 25025}};
    for (const auto& [now, next] : deadlines)
        EXPECT_EQ(periodic_next_deadline(t0, 25ms, t0 + std::chrono::milliseconds(now)),
                  t0 + std::chrono::milliseconds(next)) << now;

    static std::atomic<int> started{0}, finished{0};
    auto tick = [] {
        started.fetch_add(1);
        std::this_thread::sleep_for(1ms);  // a tick with some work in it
        finished.fetch_add(1);
    };
    EXPECT_EQ(time_set_event(0, tick), 0u);
    EXPECT_EQ(time_set_event(25, nullptr), 0u);
    const unsigned id = time_set_event(5, tick);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(eventually([] { return started.load() >= 3; }));
    time_kill_event(id);
    EXPECT_EQ(finished.load(), started.load()) << "the kill waits for a tick in progress";
    const int after = started.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(started.load(), after);
    time_kill_event(id);  // a second kill, and unknown ids, are ignored
    time_kill_event(12345);
}

TEST(NullOutput, PlaysLoopsFeedsTheSpectrumAndStopsAtAnyMoment)
{
    setenv("ALSOFT_DRIVERS", "null", 1);
    const std::vector<std::string>& boxes = capture_boxes();
    no_sound = false;
    const std::string file = halves();
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(file));
    ASSERT_TRUE(music_start());
    show_clock_start();
    // The spectrum rises with the sine and falls with the silence, again and
    // again as the file loops.
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(eventually([] { return spectrum[1].load() > 0.45f; })) << "round " << round;
        EXPECT_TRUE(eventually([] { return spectrum[1].load() < 0.05f; })) << "round " << round;
        set_reverb_time(800.0f + 1100.0f * round);
    }
    audio_shutdown();
    // Shutdown at a different point of the 25 ms period each round: within a
    // second, and no tick after it.
    for (int round = 0; round < 12; ++round) {
        if (round > 0) {
            ASSERT_TRUE(audio_init());
            ASSERT_TRUE(music_load(file));
            ASSERT_TRUE(music_start());
            std::this_thread::sleep_for(std::chrono::milliseconds(60 + 3 * round));
        }
        const auto start = steady::now();
        audio_shutdown();
        EXPECT_LT(steady::now() - start, 1s) << "round " << round;
        const float after = spectrum[1].load();
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(spectrum[1].load(), after) << "a tick came after shutdown, round " << round;
    }
    EXPECT_TRUE(boxes.empty());
    message_box_set_hook(nullptr);

    // Read at the timer's pace, the heard position moves on with the music
    // between the mixer's steps, not back and forth round them.
    int error = SOUND_OK;
    ASSERT_TRUE(output_open_device(rate, &error));
    ASSERT_TRUE(stream_open(file, &error));
    ASSERT_TRUE(stream_play(true, &error));
    const double first = stream_heard_frame();
    double last = first;
    int backwards = 0;
    for (int i = 0; i < 40; ++i) {
        std::this_thread::sleep_for(25ms);
        const double now = stream_heard_frame();
        backwards += now < last;
        last = now;
    }
    stream_close();
    output_close();
    EXPECT_LT(backwards, 4);
    EXPECT_GT(last - first, 0.5 * rate);  // a second went by
}

// OpenAL's ALSA backend on an ALSA configuration with no devices at all.
TEST(NoOutput, OneBoxThenTheMusicDrivesTheSpectrumAsWithNoSound)
{
    std::ofstream(audio_temp_dir() + "/asound.conf");
    setenv("ALSA_CONFIG_PATH", (audio_temp_dir() + "/asound.conf").c_str(), 1);
    setenv("ALSOFT_DRIVERS", "alsa", 1);
    show_clock_use_manual(0.0);
    const std::vector<std::string>& boxes = capture_boxes();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(audio_init());
    EXPECT_TRUE(music_load(halves()));
    EXPECT_TRUE(music_start());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the box is the show's only word";
    EXPECT_EQ(boxes, std::vector<std::string>{"bass error|Can't initialize sound device (bass error code: 2)"});
    set_reverb_time(2000.0f);
    for (double t = 525.0; t < 1000.0; t += 25.0) {
        show_clock_set_manual(t);
        spectrum_sample();
    }
    EXPECT_NEAR(spectrum[1].load(), 0.5f, 2e-3);
    audio_shutdown();
    message_box_set_hook(nullptr);
    show_clock_set_source(nullptr);
}

// audiotestsrc stands in for the sound server.
class LiveInput : public ::testing::Test {
protected:
    void TearDown() override { audio_shutdown(); }
    static std::string tone() { return " volume=0.5 freq=" + std::to_string(rate / 1024.0); }
    static std::string lines(const std::string& text) { return std::to_string(std::count(text.begin(), text.end(), '\n')); }
};

TEST_F(LiveInput, SpectrumOfTheLiveSoundAndOneLineForEachFault)
{
    // Out of file descriptors, libpulse cannot even start: a refusal, not a crash.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit low{64, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> fillers;
    for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;)
        fillers.push_back(fd);
    std::string monitor, input, why;
    const bool answered = sound_server_defaults(&monitor, &input, &why);
    for (int fd : fillers)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_FALSE(answered);
    EXPECT_EQ(why, "libpulse cannot start");

    // A 0.5 sine on bin 1 moves that bin alone; silence moves nothing.
    ASSERT_TRUE(live_input_open_pipeline("audiotestsrc is-live=true samplesperbuffer=1024" + tone()));
    for (int i = 0; i < 24; ++i)
        spectrum_sample();
    EXPECT_NEAR(spectrum[1].load(), 0.5f, 0.01f);
    EXPECT_LT(largest_from(3), 0.01f);
    ASSERT_TRUE(live_input_open_pipeline("audiotestsrc is-live=true wave=silence"));
    for (int i = 0; i < 40; ++i)
        spectrum_sample();
    EXPECT_LT(largest_from(0), 1e-6f);

    // The input ends: one line, and the spectrum falls to zero.
    ASSERT_TRUE(live_input_open_pipeline("audiotestsrc is-live=true num-buffers=4" + tone()));
    ::testing::internal::CaptureStderr();
    float magnitudes[spectrum_size];
    EXPECT_TRUE(eventually([&] { return !live_input_fft1024(magnitudes); }));
    for (int i = 0; i < 40; ++i)
        spectrum_sample();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err), "1") << err;
    EXPECT_NE(err.find("is lost"), std::string::npos) << err;
    EXPECT_LT(largest_from(0), 1e-6f);

    // No server: one line naming what was tried and how to list the sources.
    setenv("PULSE_SERVER", "unix:/nonexistent/glowcam-test", 1);
    for (const std::string source : {"monitor", "mic", "glowcam-no-such-source"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(live_input_open(source));
        err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(lines(err), "1") << err;
        EXPECT_NE(err.find("pactl list short sources"), std::string::npos) << err;
        EXPECT_NE(err.find(source == "mic" ? "default input" : source), std::string::npos) << err;
    }
}

// The desktop's case, on a sound server of the test's own: a tone played into
// the default output reaches the spectrum through that output's monitor.
TEST_F(LiveInput, MonitorFollowsWhatTheServerPlays)
{
    if (run_process({"/bin/sh", "-c", "command -v pulseaudio"}).exit_code != 0)
        GTEST_SKIP() << "pulseaudio is not installed";
    const std::string dir = audio_temp_dir();
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
    std::string monitor, input, why;
    eventually([&] { return sound_server_defaults(&monitor, &input, &why); });
    EXPECT_EQ(monitor, "glowcam_test.monitor") << why;
    EXPECT_TRUE(live_input_open("monitor"));
    GstElement* player = gst_parse_launch(("audiotestsrc is-live=true" + tone() + " ! pulsesink").c_str(), nullptr);
    ASSERT_TRUE(player);
    gst_element_set_state(player, GST_STATE_PLAYING);
    EXPECT_TRUE(eventually([] {
        spectrum_sample();
        std::this_thread::sleep_for(25ms);
        return std::abs(spectrum[1].load() - 0.5f) < 0.02f;
    }));
    EXPECT_LT(largest_from(3), 0.05f);
    gst_element_set_state(player, GST_STATE_NULL);
    gst_object_unref(player);
    audio_shutdown();
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// The track the build makes: loud but unclipped, seamless, and a bass that
// moves spectrum bin 1.
TEST(DemoTrack, IsASeamlessLoudLoopWhoseBassPulsesBinOne)
{
    const std::string track = std::string(GLOWCAM_BINARY_DIR) + "/music/tidewave.ogg";
    SF_INFO info{};
    SNDFILE* sf = sf_open(track.c_str(), SFM_READ, &info);
    ASSERT_TRUE(sf && info.channels == 2) << track;
    std::vector<float> all(static_cast<size_t>(info.frames) * 2);
    ASSERT_EQ(sf_readf_float(sf, all.data(), info.frames), info.frames);
    sf_close(sf);
    float peak = 0.0f, step = 0.0f;
    for (size_t i = 0; i < all.size(); ++i) {
        peak = std::max(peak, std::abs(all[i]));
        if (i >= 2)
            step = std::max(step, std::abs(all[i] - all[i - 2]));
    }
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(peak, 0.5f);
    // The last frame runs on into the first as neighbours do.
    EXPECT_LT(std::abs(all[0] - all[all.size() - 2]), step);
    EXPECT_LT(std::abs(all[1] - all[all.size() - 1]), step);

    no_sound = true;
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(track));
    float low = 1e9f, high = 0.0f;
    for (double t = 2000.0; t < 6000.0; t += 25.0) {
        spectrum_at_show_time(t);
        low = std::min(low, spectrum[1].load());
        high = std::max(high, spectrum[1].load());
    }
    audio_shutdown();
    no_sound = false;
    EXPECT_GT(high, 0.2f);
    EXPECT_GT(high, 2.0f * low);
}

}  // namespace
