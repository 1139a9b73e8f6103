// The music and its spectrum. CTest runs each test in a process of its own,
// so it can choose OpenAL's drivers before the library first reads them.

#include "audio/analysis.h"
#include "audio/audio.h"
#include "audio/fft1024.h"
#include "audio/live_input.h"
#include "audio/loopback.h"
#include "audio/music_file.h"
#include "audio/output.h"
#include "audio/sound_error.h"
#include "audio/sound_server.h"
#include "audio/stream.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"
#include "tests/support/process.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
constexpr int rate = 44100;
std::vector<std::string> boxes;  // "CAPTION|TEXT" of each message box shown

float bin(int i) { return spectrum[i].load(); }
float largest_from(int first) { return *std::max_element(spectrum + first, spectrum + spectrum_size, [](auto& a, auto& b) { return a < b; }); }
// `frames` frames: silence until `silent`, then a 0.5 sine on bin 1.
std::string late_sine(const std::string& name, int frames, int silent)
{
    return write_audio(name, rate, 2, make_signal(frames, 2, [=](int i) { return i < silent ? 0.0f : bin1_sine(i, 0.5f); }));
}
bool eventually(const std::function<bool()>& done)  // another thread got somewhere
{
    for (auto end = std::chrono::steady_clock::now() + 20s; !done() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(2ms);
    return done();
}

// The loopback mixer and a manual show clock, boxes captured; all put back after.
class Audio : public ::testing::Test {
protected:
    void SetUp() override
    {
        show_clock_use_manual(0.0);
        audio_test_mode(true);
        message_box_set_hook([](const std::string& caption, const std::string& text, MessageBoxKind) {
            boxes.push_back(caption + "|" + text);
            return true;
        });
    }
    void TearDown() override
    {
        audio_shutdown();
        audio_test_mode(false);
        no_sound = false;
        message_box_set_hook(nullptr);
        show_clock_set_source(nullptr);
    }
    void start(const std::string& path) { ASSERT_TRUE(audio_init() && music_load(path) && music_start()); }
    std::vector<float> render(int frames)
    {
        std::vector<float> out(2 * static_cast<size_t>(frames));
        EXPECT_TRUE(audio_render_loopback(out.data(), frames));
        return out;
    }
};

TEST_F(Audio, SpectrumIsTheSmoothedRootOfWhatIsHeardOrWithoutSoundOfTheShowClock)
{
    // A 0.5 sine on bin 1 (magnitude 0.25, root 0.5) a second in: flat until the
    // mixer reaches it, whatever was decoded ahead, then smoothed to 0.5.
    const std::string file = late_sine("halves.wav", 2 * rate, rate);  // loops every two seconds
    start(file);
    render(rate / 2);
    spectrum_sample();
    EXPECT_EQ(bin(1), 0.0f);
    render(rate / 2 + 2048);
    for (float want : {0.25f, 0.375f, 0.4375f, 0.46875f}) {
        spectrum_sample();
        EXPECT_TRUE(std::abs(bin(1) - want) < 2e-3 && spectrum_prev[1].load() == bin(1)) << bin(1);
        render(1102);
    }
    EXPECT_LT(largest_from(3), 1e-3f);
    audio_shutdown();
    // Without sound, ticks at the show time; offline, forwards or backwards, the same.
    no_sound = true;
    start(file);
    for (double ms = 25.0; ms < 2000.0; ms += 25.0) {
        show_clock_set_manual(ms);
        spectrum_sample();
    }
    EXPECT_NEAR(bin(1), 0.5f, 1e-3);
    const std::vector<float> live(spectrum, spectrum + spectrum_size);
    audio_shutdown();
    start(file);
    spectrum_at_show_time(3000.0);
    spectrum_at_show_time(1975.0);
    EXPECT_EQ(std::vector<float>(spectrum, spectrum + spectrum_size), live);
    // A week in, a whole number of loops: the last ticks alone give the same floats.
    spectrum_at_show_time(604800000.0 + 1975.0);
    EXPECT_EQ(std::vector<float>(spectrum, spectrum + spectrum_size), live);
}

// OpenAL Soft logs only if the user asks (CTest runs this once with
// ALSOFT_LOGLEVEL=3 too), and then names nothing the music left behind.
TEST_F(Audio, ReverbTailFollowsTheDecayTimeAndNothingIsLeftBehind)
{
    std::ifstream environment("/proc/self/environ");  // as started, before any default was set
    std::string setting, asked;
    while (std::getline(environment, setting, '\0'))
        asked = setting.starts_with("ALSOFT_LOGLEVEL=") ? setting.substr(16) : asked;
    ::testing::internal::CaptureStderr();
    auto tail = [&](float ms, int step) {  // of 50 ms of a tone: the RMS level 1.0 to 1.5 s on
        start(write_audio("burst.wav", rate, 2, make_signal(6 * rate, 2, [](int i) { return i < rate / 20 ? 0.8f * std::sin(i * 0.07f) : 0.0f; })));
        double sum = 0.0;
        for (int at = 0; at < 3 * rate / 2; at += step) {
            set_reverb_time(ms);
            const std::vector<float> part = render(std::min(step, 3 * rate / 2 - at));
            for (std::size_t i = 0; i < part.size(); ++i)
                sum += at + static_cast<int>(i / 2) >= rate ? static_cast<double>(part[i]) * part[i] : 0.0;
        }
        audio_shutdown();
        return std::sqrt(sum / rate);
    };
    const double steady = tail(3000.0f, 2 * rate);
    EXPECT_GT(steady, std::max(1e-3, 10.0 * tail(800.0f, 2 * rate)));
    EXPECT_NEAR(tail(3000.0f, rate / 60), steady, 0.1 * steady);  // set on every frame, as the composer does
    audio_shutdown();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE((log.find("AL lib: (II)") != std::string::npos) == (asked == "3") && log.find("Delet") == std::string::npos) << log;
}

TEST_F(Audio, MusicLoopsAndSeeksSampleExactlyKeepsItFiniteAndRefusesWhatItCannotPlay)
{
    // Not a multiple of the streaming buffer, so the seam falls inside one.
    constexpr int frames = 10007;
    auto ramp = [](int i) { return 0.05f + 0.9f * static_cast<float>(i % frames) / frames; };
    int error = -1;
    ASSERT_TRUE(output_open_loopback(rate, &error));
    ASSERT_TRUE(stream_open(write_audio("ramp.wav", rate, 2, make_signal(frames, 2, ramp)), &error) && stream_play(false, &error));
    const std::vector<float> out = render(4 * frames);
    for (int i = 256; i < 2 * 4 * frames; ++i)  // past the mixer's fade-in
        ASSERT_NEAR(out[i], ramp(i / 2), 1e-5) << "frame " << i / 2;
    // Mono read as stereo; NaN is silence, the rest held to 4x full scale.
    std::vector<float> mono = make_signal(frames, 1, ramp), stereo(2 * 3 * frames);
    const float damaged[] = {NAN, INFINITY, -1e30f, -3.5f}, heard[] = {0.0f, 4.0f, -4.0f, -3.5f};
    std::copy(damaged, damaged + 4, mono.begin() + 7);
    MusicFile* file = music_file_open(write_audio("mono.wav", rate, 1, mono), &error);
    ASSERT_TRUE(file && error == SOUND_OK && music_file_rate(file) == rate);
    EXPECT_EQ(music_file_read(file, stereo.data(), 3 * frames), 3 * frames);
    for (int i = 0; i < 2 * 3 * frames; ++i) {
        const int f = i / 2 % frames;
        ASSERT_EQ(stereo[i], f >= 7 && f <= 10 ? heard[f - 7] : ramp(f)) << i;
    }
    for (int64_t frame : {int64_t{5} * frames, int64_t{1000000} * frames + 77}) {
        EXPECT_TRUE(music_file_seek_looped(file, frame) && music_file_read(file, stereo.data(), 1) == 1);
        EXPECT_EQ(stereo[0], ramp(static_cast<int>(frame % frames))) << frame;
    }
    music_file_close(file);
    const std::pair<std::string, int> bad[] = {{audio_temp_dir() + "/none.wav", SOUND_ERROR_FILE_OPEN}, {write_audio("zero.wav", rate, 2, {}), SOUND_ERROR_FILE_EMPTY},
        {write_audio("quad.wav", rate, 4, std::vector<float>(4, 0.1f)), SOUND_ERROR_FILE_CHANNELS}, {write_bytes("x.wav", std::string(5000, 'x')), SOUND_ERROR_FILE_FORMAT}};
    for (const auto& [path, code] : bad)
        EXPECT_TRUE(music_file_open(path, &error) == nullptr && error == code) << path;
}

// Exactly the decoded frames asked for, whether the analysis decodes on (a short
// Vorbis seek starts with wrong samples), reads back, rewinds or seeks far ahead.
TEST_F(Audio, AnalysisGivesTheSpectrumOfExactlyTheFramesAskedForWhereverTheyAre)
{
    const std::string path = write_audio("tone.ogg", rate, 2, make_signal(4 * rate, 2, noisy_tone));
    int error = -1;
    MusicFile* file = music_file_open(path, &error);
    std::vector<float> stereo(2 * 4 * rate), mono(4 * rate);
    music_file_read(file, stereo.data(), 4 * rate);
    music_file_close(file);
    for (int i = 0; i < 4 * rate; ++i)
        mono[i] = (stereo[2 * i] + stereo[2 * i + 1]) * 0.5f;
    std::vector<int64_t> firsts;
    for (int64_t first = 0; first < 5 * rate; first += 3001)
        firsts.push_back(first);
    firsts.insert(firsts.end(), {5 * rate - 20000, 3 * rate, 40 * rate, 44 * rate, 60 * rate + 777});
    ASSERT_TRUE(analysis_open(path, &error));
    float got[fft_bins], want[fft_bins];
    for (int64_t first : firsts) {
        ASSERT_TRUE(analysis_fft_at_frame(first, got));
        if (const int64_t at = first % (4 * rate); at + fft_size <= 4 * rate) {  // not across the seam
            fft1024_magnitudes(&mono[at], want);
            for (int k = 0; k < fft_bins; ++k)
                ASSERT_NEAR(got[k], want[k], 1e-6) << "frame " << first << ", bin " << k;
        }
    }
    analysis_close();
    // The FFT reads exactly its 1024 samples, even next to a page that cannot be touched.
    ASSERT_TRUE(fft1024_prepare());
    const long page = sysconf(_SC_PAGESIZE);
    auto* pages = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
    float* samples = reinterpret_cast<float*>(pages + page) - fft_size;
    for (int n = 0; n < fft_size; ++n)
        samples[n] = bin1_sine(n, 0.5f);
    float magnitudes[fft_bins];
    fft1024_magnitudes(samples, magnitudes);
    for (int k = 0; k < fft_bins; ++k)  // the window spreads bin 1 into bin 2
        EXPECT_NEAR(magnitudes[k], k == 1 ? 0.25f : k == 2 ? 0.125f : 0.0f, 1e-6) << k;
    munmap(pages, 2 * page);
}

TEST_F(Audio, NullOutputPlaysLoopsFeedsTheSpectrumAndStopsAtAnyMoment)
{
    setenv("ALSOFT_DRIVERS", "null", 1);
    audio_test_mode(false);
    const std::string file = late_sine("halves.wav", rate, rate / 2);
    // The spectrum follows the sine as the file loops; a shutdown at any point
    // of the 25 ms period is done within a second, and no tick comes after it.
    for (int round = 0; round < 12; ++round) {
        start(file);
        std::this_thread::sleep_for(std::chrono::milliseconds(60 + 3 * round));
        EXPECT_TRUE(round > 0 || (eventually([] { return bin(1) > 0.45f; }) && eventually([] { return bin(1) < 0.05f; })));
        set_reverb_time(800.0f + 200.0f * round);
        const auto before = std::chrono::steady_clock::now();
        audio_shutdown();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s) << round;
        const float after = bin(1);
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(bin(1), after) << "a tick came after shutdown, round " << round;
    }
    EXPECT_TRUE(boxes.empty());
    // Read at the timer's pace, the heard position moves on between the mixer's steps.
    int error = SOUND_OK, backwards = 0;
    ASSERT_TRUE(output_open_device(rate, &error) && stream_open(file, &error) && stream_play(true, &error));
    double first = stream_heard_frame(), last = first;
    for (int i = 0; i < 40; ++i) {
        std::this_thread::sleep_for(25ms);
        const double now = stream_heard_frame();
        backwards += now < last;
        last = now;
    }
    EXPECT_TRUE(backwards < 4 && last - first > 0.5 * rate) << backwards << " " << last - first;
}

TEST_F(Audio, LiveInputSpectrumIsOfTheLiveSoundAndEachFaultIsOneLine)
{
    // Out of file descriptors, libpulse cannot even start: a refusal, not a crash.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit low{64, limit.rlim_max};
    setrlimit(RLIMIT_NOFILE, &low);
    std::vector<int> fillers;
    for (int fd; (fd = dup(0)) >= 0;)
        fillers.push_back(fd);
    std::string monitor, input, why;
    EXPECT_FALSE(sound_server_defaults(&monitor, &input, &why));
    std::for_each(fillers.begin(), fillers.end(), close);
    setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_EQ(why, "libpulse cannot start");
    // audiotestsrc: a sine moves bin 1 alone, silence nothing; an input that
    // ends, or no server, is one line that says what to do.
    const std::string tone = " volume=0.5 freq=" + std::to_string(rate / 1024.0), list = "pactl list short sources";
    const std::tuple<std::string, float, std::string> inputs[] = {
        {"audiotestsrc is-live=true samplesperbuffer=1024" + tone, 0.5f, ""}, {"audiotestsrc is-live=true wave=silence", 0.0f, ""},
        {"audiotestsrc is-live=true num-buffers=4" + tone, 0.0f, "is lost"}, {"monitor", 0.0f, "the monitor of the default output"},
        {"mic", 0.0f, "the default input"}, {"glowcam-no-such-source", 0.0f, "glowcam-no-such-source"}};
    setenv("PULSE_SERVER", "unix:/nonexistent/glowcam-test", 1);
    for (const auto& [source, level, line] : inputs) {
        ::testing::internal::CaptureStderr();
        const bool test_source = source.starts_with("audiotestsrc");
        EXPECT_EQ(test_source ? live_input_open_pipeline(source) : live_input_open(source), test_source);
        float magnitudes[spectrum_size];
        EXPECT_TRUE(line != "is lost" || eventually([&] { return !live_input_fft1024(magnitudes); }));
        for (int i = 0; i < 40; ++i)
            spectrum_sample();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(std::abs(bin(1) - level) < 0.01f && largest_from(3) < (level == 0.0f ? 1e-6f : 0.01f)) << source << " " << bin(1);
        EXPECT_TRUE(line.empty() ? err.empty()
                                 : std::count(err.begin(), err.end(), '\n') == 1 && err.find(line) != std::string::npos &&
                                       (test_source || err.find(list) != std::string::npos)) << err;
    }
    // The desktop's case: a tone played on a server reaches us through its monitor.
    if (access("/usr/bin/pulseaudio", X_OK) != 0)
        GTEST_SKIP() << "pulseaudio is not installed";
    const std::string dir = audio_temp_dir();
    setenv("PULSE_SERVER", ("unix:" + dir + "/native").c_str(), 1);
    const ProcessOptions server{.env = {"XDG_RUNTIME_DIR=" + dir, "HOME=" + dir}, .while_running = [&](int pid) {
        eventually([&] { return sound_server_defaults(&monitor, &input, &why); });
        EXPECT_TRUE(monitor == "glowcam_test.monitor" && live_input_open("monitor")) << why;
        GstElement* player = gst_parse_launch(("audiotestsrc is-live=true" + tone + " ! pulsesink").c_str(), nullptr);
        gst_element_set_state(player, GST_STATE_PLAYING);
        EXPECT_TRUE(eventually([] {
            spectrum_sample();
            std::this_thread::sleep_for(25ms);
            return std::abs(bin(1) - 0.5f) < 0.02f && largest_from(3) < 0.05f;
        }));
        gst_element_set_state(player, GST_STATE_NULL);
        gst_object_unref(player);
        audio_shutdown();
        kill(pid, SIGTERM);
    }};
    run_process({"/usr/bin/pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disallow-exit", "--log-level=error",
                 "--load=module-null-sink sink_name=glowcam_test", "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/native"},
                server);
}

}  // namespace
