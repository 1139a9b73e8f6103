// Music files damaged in the middle, and shutdown while the 25 ms spectrum
// timer ticks: the real stream, decoder and mixer (OpenAL Soft's loopback
// and null outputs, no sound card).

#include "audio/audio.h"
#include "audio/loopback.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int rate = 44100;

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Four seconds of a loud tone on spectrum bin 1 with some noise, as Ogg
// Vorbis bytes: the noise makes the audio pages outweigh the headers, so that
// a cut in the middle lands in the sound.
std::string tone_ogg_bytes()
{
    const std::string bytes = read_all(write_ogg("tone.ogg", rate, 2, make_signal(4 * rate, 2, [](int i) {
        const unsigned hash = static_cast<unsigned>(i) * 2654435761u;
        return bin1_sine(i, 0.4f) + 0.1f * (static_cast<float>(hash >> 8) / 16777216.0f - 0.5f);
    })));
    EXPECT_GT(bytes.size(), 40000u);
    return bytes;
}

struct Heard {
    bool finite = true;
    std::vector<double> rms;  // one value per quarter second
};

// Mixes `seconds` of the show's sound through the loopback device.
Heard listen(double seconds)
{
    Heard h;
    const int window = rate / 4;
    std::vector<float> out(2 * static_cast<std::size_t>(window));
    for (int w = 0; w < static_cast<int>(seconds * 4); ++w) {
        if (!audio_render_loopback(out.data(), window)) {
            h.finite = false;
            break;
        }
        double sum = 0.0;
        for (float v : out) {
            if (!std::isfinite(v))
                h.finite = false;
            sum += static_cast<double>(v) * v;
        }
        h.rms.push_back(std::sqrt(sum / static_cast<double>(out.size())));
    }
    return h;
}

int quiet_windows(const Heard& h, std::size_t from)
{
    int n = 0;
    for (std::size_t i = from; i < h.rms.size(); ++i)
        n += h.rms[i] < 0.05 ? 1 : 0;
    return n;
}

class MusicFault : public LoopbackAudioTest {
protected:    // Loads and starts the file as the show does; success when no box came.
    ::testing::AssertionResult play(const std::string& path)
    {
        EXPECT_TRUE(audio_init());
        music_load(path);
        music_start();
        if (captured_boxes().empty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "box: " << captured_boxes().front();
    }
};

}  // namespace

TEST_F(MusicFault, OggCutInTheMiddleLoopsWhereItEnds)
{
    const std::string whole = tone_ogg_bytes();
    ASSERT_TRUE(play(write_bytes("cut.ogg", whole.substr(0, whole.size() * 6 / 10))));
    const Heard h = listen(8.0);
    EXPECT_TRUE(h.finite);
    // Past the first second (the reverb's swell) it never goes quiet: the
    // loop comes round at the cut again and again.
    EXPECT_EQ(quiet_windows(h, 4), 0);
}

TEST_F(MusicFault, OggWithGarbageInTheMiddleKeepsPlaying)
{
    std::string bytes = tone_ogg_bytes();
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 1500; ++i)
        bytes[i] = static_cast<char>(0xa5 ^ (i * 7));
    const ::testing::AssertionResult loaded = play(write_bytes("garbage.ogg", bytes));
    const Heard h = listen(8.0);
    EXPECT_TRUE(h.finite);
    EXPECT_TRUE(loaded);
    EXPECT_LE(quiet_windows(h, 4), 2);
}

TEST_F(MusicFault, NonFiniteSamplesInAFloatFileNeverReachTheMixer)
{
    std::vector<float> samples = make_signal(rate, 2, [](int i) { return bin1_sine(i, 0.5f); });
    for (std::size_t i = samples.size() / 2; i < samples.size() / 2 + 64; ++i)
        samples[i] = i % 2 ? NAN : INFINITY;
    ASSERT_TRUE(play(write_wav("nan.wav", rate, 2, samples)));
    const Heard h = listen(4.0);
    EXPECT_TRUE(h.finite);
    // The reverb's tail is not poisoned either: the tone goes on round the loop.
    EXPECT_EQ(quiet_windows(h, 4), 0);
}

TEST_F(MusicFault, FileEmptiedWhilePlayingGoesSilentWithoutACrash)
{
    const std::string path = write_bytes("emptied.ogg", tone_ogg_bytes());
    ASSERT_TRUE(play(path));
    EXPECT_EQ(quiet_windows(listen(1.5), 2), 0);
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    const Heard h = listen(4.0);
    EXPECT_TRUE(h.finite);
    show_clock_set_manual(4000.0);
    spectrum_sample();
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_TRUE(std::isfinite(spectrum[i].load())) << "bin " << i;
}

// The real 25 ms timer on the null output, stopped at every phase of its tick.
TEST(SpectrumTimerShutdown, EndsWithinASecondAtAnyMoment)
{
    no_sound = false;
    audio_test_mode(false);
    capture_boxes();
    const std::string path = write_ogg("short.ogg", rate, 2, make_signal(rate / 2, 2, [](int i) { return bin1_sine(i, 0.5f); }));
    for (int round = 0; round < 12; ++round) {
        ASSERT_TRUE(audio_init());
        ASSERT_TRUE(music_load(path));
        ASSERT_TRUE(music_start());
        show_clock_start();
        // Lets the timer get going, then stops at a different point of the
        // 25 ms period each round.
        std::this_thread::sleep_for(std::chrono::milliseconds(60 + 3 * round));
        const auto start = Clock::now();
        audio_shutdown();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(1)) << "round " << round;
        const float after = spectrum[1].load();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(spectrum[1].load(), after) << "a tick came after shutdown, round " << round;
    }
    EXPECT_TRUE(captured_boxes().empty());
    message_box_set_hook(nullptr);
}

int main(int argc, char** argv)
{
    // OpenAL Soft reads this once, at its first use.
    setenv("ALSOFT_DRIVERS", "null", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
