// The music part through OpenAL Soft's loopback device: what the mixer
// renders and what the spectrum holds, with no sound card and no timer.

#include "audio/audio.h"
#include "audio/loopback.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int rate = 44100;

class AudioTest : public LoopbackAudioTest {
protected:
    void start(const std::string& path)
    {
        ASSERT_TRUE(audio_init());
        ASSERT_TRUE(music_load(path));
        ASSERT_TRUE(music_start());
    }

    std::vector<float> render(int frames)
    {
        std::vector<float> out(2 * static_cast<size_t>(frames));
        EXPECT_TRUE(audio_render_loopback(out.data(), frames));
        return out;
    }

    float bin(int i) { return spectrum[i].load(); }
};

double rms(const std::vector<float>& stereo, int first_frame, int frames)
{
    double sum = 0.0;
    for (int i = first_frame; i < first_frame + frames; ++i)
        sum += stereo[2 * i] * stereo[2 * i] + stereo[2 * i + 1] * stereo[2 * i + 1];
    return std::sqrt(sum / (2.0 * frames));
}

// 50 ms of a loud tone, then silence: the reverb's tail is all that follows.
std::string burst_file()
{
    const int burst = rate / 20;
    return write_wav("burst.wav", rate, 2, make_signal(6 * rate, 2, [](int i) {
                         return i < burst ? 0.8f * std::sin(i * 0.07f) : 0.0f;
                     }));
}

// The output level between 1.0 and 1.5 s after the burst.
double late_tail(const std::vector<float>& out) { return rms(out, rate, rate / 2); }

// --- the spectrum ------------------------------------------------------------

TEST_F(AudioTest, SineOnBinOneIsSmoothedFromTheSquareRoot)
{
    // A 0.5 sine gives the magnitude m = 0.25, so sqrt(m) = 0.5.
    start(write_wav("sine.wav", rate, 2,
                    make_signal(4 * rate, 2, [](int i) { return bin1_sine(i, 0.5f); })));
    render(2048);
    const float expected[] = {0.25f, 0.375f, 0.4375f};
    for (float e : expected) {
        spectrum_sample();
        EXPECT_NEAR(bin(1), e, 2e-3);
        EXPECT_EQ(spectrum_prev[1].load(), bin(1));
        render(1102);
    }
    for (int tick = 0; tick < 20; ++tick)
        spectrum_sample();
    EXPECT_NEAR(bin(1), 0.5f, 2e-3);
    // The Hann window spreads a little into bins 0 and 2, nothing further.
    EXPECT_LT(bin(10), 1e-3f);
    EXPECT_LT(bin(300), 1e-3f);
}

TEST_F(AudioTest, FullScaleSineMeasuresAHalf)
{
    start(write_wav("full.wav", rate, 2,
                    make_signal(2 * rate, 2, [](int i) { return bin1_sine(i, 1.0f); })));
    render(2048);
    for (int tick = 0; tick < 30; ++tick)
        spectrum_sample();
    EXPECT_NEAR(bin(1), std::sqrt(0.5f), 2e-3);
}

TEST_F(AudioTest, SilenceStaysAtZero)
{
    start(write_wav("silence.wav", rate, 2, std::vector<float>(2 * rate * 2, 0.0f)));
    for (int tick = 0; tick < 10; ++tick) {
        render(1102);
        spectrum_sample();
    }
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_EQ(bin(i), 0.0f) << "bin " << i;
}

TEST_F(AudioTest, SpectrumFollowsWhatIsHeard)
{
    // One second of silence, then the sine: the spectrum stays flat until the
    // mixer reaches the sine, whatever has been decoded ahead.
    start(write_wav("late.wav", rate, 2, make_signal(3 * rate, 2, [](int i) {
                        return i < rate ? 0.0f : bin1_sine(i, 0.5f);
                    })));
    render(rate / 2);
    spectrum_sample();
    EXPECT_EQ(bin(1), 0.0f);
    render(rate);
    for (int tick = 0; tick < 20; ++tick)
        spectrum_sample();
    EXPECT_NEAR(bin(1), 0.5f, 2e-3);
}

TEST_F(AudioTest, FailedFetchDriftsTheSmoothedValues)
{
    // No stream: every fetch fails and leaves the smoothed values in the
    // buffer, so s becomes (sqrt(s) + s) / 2.
    ASSERT_TRUE(audio_init());
    EXPECT_FALSE(music_load(audio_temp_dir() + "/absent.ogg"));
    music_start();
    spectrum[1].store(0.25f);
    spectrum_prev[1].store(0.25f);
    spectrum_sample();
    EXPECT_FLOAT_EQ(bin(1), 0.375f);
    EXPECT_FLOAT_EQ(spectrum_prev[1].load(), 0.375f);
    EXPECT_EQ(bin(0), 0.0f);
    for (int tick = 0; tick < 200; ++tick)
        spectrum_sample();
    EXPECT_NEAR(bin(1), 1.0f, 1e-3);
    EXPECT_EQ(bin(0), 0.0f);
}

// --- the reverb ------------------------------------------------------------

TEST_F(AudioTest, LongReverbTimeRingsLonger)
{
    const std::string file = burst_file();
    start(file);
    set_reverb_time(800.0f);
    const double short_tail = late_tail(render(2 * rate));
    audio_shutdown();

    start(file);
    set_reverb_time(3000.0f);
    const double long_tail = late_tail(render(2 * rate));

    EXPECT_GT(long_tail, 1e-3);
    EXPECT_GT(long_tail, 10.0 * short_tail);
}

TEST_F(AudioTest, ReverbTimeChangeWhilePlayingTakesEffect)
{
    const std::string file = burst_file();
    start(file);
    set_reverb_time(3000.0f);
    std::vector<float> steady = render(2 * rate);
    audio_shutdown();

    start(file);
    set_reverb_time(3000.0f);
    std::vector<float> changed = render(rate / 10);
    set_reverb_time(800.0f);
    const std::vector<float> rest = render(2 * rate - rate / 10);
    changed.insert(changed.end(), rest.begin(), rest.end());

    EXPECT_LT(late_tail(changed), 0.2 * late_tail(steady));
}

TEST_F(AudioTest, SettingTheTimeEveryFrameKeepsTheTail)
{
    // The composer sets the time on every frame; re-attaching the effect each
    // time must not cut the reverb short.
    const std::string file = burst_file();
    start(file);
    set_reverb_time(3000.0f);
    const double steady = late_tail(render(2 * rate));
    audio_shutdown();

    start(file);
    std::vector<float> framed;
    for (int frame = 0; frame < 2 * 60; ++frame) {
        set_reverb_time(3000.0f);
        const std::vector<float> part = render(rate / 60);
        framed.insert(framed.end(), part.begin(), part.end());
    }
    EXPECT_NEAR(late_tail(framed), steady, 0.1 * steady);
}

TEST_F(AudioTest, DryMusicPlaysAtFullLevel)
{
    // A click: the output carries it whole at its own frame, before the
    // reverb's first reflection arrives.
    const int click = 2000;
    start(write_wav("click.wav", rate, 2, make_signal(rate, 2, [](int i) {
                        return i == click ? 0.5f : 0.0f;
                    })));
    set_reverb_time(3000.0f);
    const std::vector<float> out = render(rate / 2);
    for (int i = 0; i < click; ++i)
        ASSERT_EQ(out[2 * i], 0.0f);
    EXPECT_NEAR(out[2 * click], 0.5f, 1e-4);
    EXPECT_NEAR(out[2 * click + 1], 0.5f, 1e-4);
    EXPECT_GT(rms(out, click + 1, rate / 4), 1e-4);  // and then the reverb
}

// --- files ---------------------------------------------------------------

TEST_F(AudioTest, SpectrumOfAMono48kFileUsesItsOwnRate)
{
    start(write_wav("mono48k_bin1.wav", 48000, 1,
                    make_signal(2 * 48000, 1, [](int i) { return bin1_sine(i, 0.5f); })));
    render(4096);
    for (int tick = 0; tick < 20; ++tick)
        spectrum_sample();
    EXPECT_NEAR(bin(1), 0.5f, 2e-3);
}

TEST_F(AudioTest, UnloadableFilesGiveTheLoadBoxAndTheShowRuns)
{
    std::string ogg_bytes;
    {
        const std::string good = write_ogg("good.ogg", rate, 2, std::vector<float>(2 * rate, 0.1f));
        std::ifstream in(good, std::ios::binary);
        ogg_bytes.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_GT(ogg_bytes.size(), 200u);
    }
    const std::string dir = audio_temp_dir();
    const struct {
        std::string path;
        std::string code;
    } cases[] = {
        {dir + "/missing.ogg", "6"},
        {write_bytes("empty.ogg", ""), "7"},
        {write_bytes("text.ogg", "this is not music, just a text file\n"), "7"},
        {write_bytes("cut.ogg", ogg_bytes.substr(0, 100)), "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        capture_boxes();
        ASSERT_TRUE(audio_init());
        EXPECT_FALSE(music_load(c.path));
        EXPECT_TRUE(music_start());
        ASSERT_EQ(captured_boxes().size(), 1u);
        EXPECT_EQ(captured_boxes()[0],
                  "bass error|Can't load file '" + c.path + "' (bass error code: " + c.code + ")");
        set_reverb_time(3000.0f);  // no effect: changes nothing, breaks nothing
        render(4096);
        spectrum_sample();
        EXPECT_EQ(bin(1), 0.0f);
        audio_shutdown();
    }
}

TEST_F(AudioTest, LongNamesReachTheBoxWhole)
{
    std::string name = audio_temp_dir() + "/";
    for (int i = 0; i < 120; ++i)
        name += "m\xc3\xbcsik-";  // several hundred bytes, two-byte characters
    name += ".ogg";
    ASSERT_TRUE(audio_init());
    EXPECT_FALSE(music_load(name));
    ASSERT_EQ(captured_boxes().size(), 1u);
    EXPECT_EQ(captured_boxes()[0], "bass error|Can't load file '" + name + "' (bass error code: 6)");
}

// --- no sound and offline ---------------------------------------------------

TEST_F(AudioTest, NoSoundOpensNoDeviceAndTheSpectrumFollowsTheShowClock)
{
    no_sound = true;
    // One second of silence, one of the sine, looping every two seconds.
    start(write_wav("halves.wav", rate, 2, make_signal(2 * rate, 2, [](int i) {
                        return i < rate ? 0.0f : bin1_sine(i, 0.5f);
                    })));
    EXPECT_TRUE(captured_boxes().empty());
    float out[2 * 64];
    EXPECT_FALSE(audio_render_loopback(out, 64));  // no device of any kind

    show_clock_set_manual(500.0);
    spectrum_sample();
    EXPECT_EQ(bin(1), 0.0f);
    for (double t = 1100.0; t < 1500.0; t += 25.0) {
        show_clock_set_manual(t);
        spectrum_sample();
    }
    EXPECT_NEAR(bin(1), 0.5f, 2e-3);
    // Past the loop point the silence comes round again.
    for (double t = 2100.0; t < 2500.0; t += 25.0) {
        show_clock_set_manual(t);
        spectrum_sample();
    }
    EXPECT_LT(bin(1), 1e-3f);
}

TEST_F(AudioTest, NoSoundSurvivesAShowClockThatJumpsFarAhead)
{
    // Before the show clock starts it may read days; the tick must not decode
    // all the way there. A day is a whole number of these two-second loops.
    no_sound = true;
    start(write_wav("jump.wav", rate, 2, make_signal(2 * rate, 2, [](int i) {
                        return i < rate ? 0.0f : bin1_sine(i, 0.5f);
                    })));
    const double day_ms = 24.0 * 3600.0 * 1000.0;
    for (double t = 1100.0; t < 1500.0; t += 25.0) {
        show_clock_set_manual(day_ms + t);
        spectrum_sample();
    }
    EXPECT_NEAR(bin(1), 0.5f, 2e-3);
    show_clock_set_manual(500.0);  // and back again
    for (int tick = 0; tick < 20; ++tick)
        spectrum_sample();
    EXPECT_LT(bin(1), 1e-3f);
}

TEST_F(AudioTest, OfflineSpectrumReplaysTheTicksThatCount)
{
    const std::string file = write_wav("replay.wav", rate, 2, make_signal(2 * rate, 2, [](int i) {
                                           return i < rate ? bin1_sine(i, 0.3f) : bin1_sine(i, 0.8f) * 0.5f;
                                       }));
    // The reference: the live ticks of the silent mode at 25, 50, ... ms.
    no_sound = true;
    start(file);
    std::vector<float> live;
    for (int tick = 1; tick <= 120; ++tick) {
        show_clock_set_manual(tick * 25.0);
        spectrum_sample();
        if (tick == 39 || tick == 41 || tick == 120)
            live.push_back(bin(1));
    }
    audio_shutdown();

    // Offline: load only, then any show time, forwards or backwards.
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(file));
    spectrum_at_show_time(3000.0);
    EXPECT_FLOAT_EQ(bin(1), live[2]);
    spectrum_at_show_time(975.0);
    EXPECT_FLOAT_EQ(bin(1), live[0]);
    spectrum_at_show_time(1040.0);  // between ticks: the value of tick 41
    EXPECT_FLOAT_EQ(bin(1), live[1]);
    spectrum_at_show_time(3000.0);
    EXPECT_FLOAT_EQ(bin(1), live[2]);

    // A week in (a whole number of the track's loops), a start that replays
    // only the ticks that still count holds, to the bit, what ten minutes
    // replayed tick by tick from show time 0 hold.
    for (double ms = 0.0; ms <= 600000.0; ms += 25.0)
        spectrum_at_show_time(ms);
    std::vector<float> replayed;
    for (const auto& value : spectrum)
        replayed.push_back(value.load());
    audio_shutdown();
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(file));
    spectrum_at_show_time(604800000.0);
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_EQ(bin(i), replayed[static_cast<size_t>(i)]) << i;
    EXPECT_GT(replayed[1], 0.1f);
}

TEST_F(AudioTest, ShutdownTwiceAndWithoutInitIsHarmless)
{
    audio_shutdown();
    start(write_wav("short.wav", rate, 1, std::vector<float>(rate / 10, 0.1f)));
    render(rate);  // loops a file shorter than the queue
    audio_shutdown();
    audio_shutdown();
    ASSERT_TRUE(audio_init());
}

}  // namespace
