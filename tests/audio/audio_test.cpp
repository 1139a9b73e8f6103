// The music part through OpenAL Soft's loopback mixer (no sound card, no
// timer) or with no output: what is heard, what the spectrum holds, and
// damaged files.

#include "audio/analysis.h"
#include "audio/audio.h"
#include "audio/fft1024.h"
#include "audio/loopback.h"
#include "audio/music_file.h"
#include "audio/output.h"
#include "audio/sound_error.h"
#include "audio/stream.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iterator>

namespace {

constexpr int rate = 44100;

float bin(int i) { return spectrum[i].load(); }
void ticks(int n)
{
    for (int i = 0; i < n; ++i)
        spectrum_sample();
}
double rms(const std::vector<float>& stereo, int first_frame, int frames)
{
    double sum = 0.0;
    for (int i = 2 * first_frame; i < 2 * (first_frame + frames); ++i)
        sum += static_cast<double>(stereo[i]) * stereo[i];
    return std::sqrt(sum / (2.0 * frames));
}
std::string bytes_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
// The noise makes the audio pages outweigh the headers.
std::string noisy_ogg() { return write_ogg("tone.ogg", rate, 2, make_signal(4 * rate, 2, noisy_tone)); }
std::vector<float> sine_signal(int frames) { return make_signal(frames, 2, [](int i) { return bin1_sine(i, 0.5f); }); }

class Audio : public ::testing::Test {
protected:
    const std::vector<std::string>& boxes = capture_boxes();
    void SetUp() override
    {
        no_sound = false;
        audio_test_mode(true);
        show_clock_use_manual(0.0);
    }
    void TearDown() override
    {
        audio_shutdown();
        audio_test_mode(false);
        no_sound = false;
        message_box_set_hook(nullptr);
        show_clock_set_source(nullptr);
    }
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
    // 50 ms of a loud tone, then silence: the level 1.0 to 1.5 s on is the
    // reverb's tail. The decay time is set before every `step` frames:
    // `first` until frame `change_at`, `second` from there.
    double tail(float first, float second, int change_at, int step)
    {
        start(write_wav("burst.wav", rate, 2, make_signal(6 * rate, 2, [](int i) {
                              return i < rate / 20 ? 0.8f * std::sin(i * 0.07f) : 0.0f;
                          })));
        std::vector<float> out;
        for (int at = 0; at < 2 * rate; at += step) {
            set_reverb_time(at < change_at ? first : second);
            const std::vector<float> part = render(std::min(step, 2 * rate - at));
            out.insert(out.end(), part.begin(), part.end());
        }
        audio_shutdown();
        return rms(out, rate, rate / 2);
    }
    // The level of each quarter second of `seconds` of sound; -1 for one
    // that was not finite.
    std::vector<double> listen(double seconds)
    {
        std::vector<double> levels;
        for (int w = 0; w < static_cast<int>(seconds * 4); ++w) {
            const std::vector<float> out = render(rate / 4);
            bool finite = true;
            for (float v : out)
                finite = finite && std::isfinite(v);
            levels.push_back(finite ? rms(out, 0, rate / 4) : -1.0);
        }
        return levels;
    }
};

TEST_F(Audio, SpectrumIsTheSmoothedRootOfWhatIsHeard)
{
    // One second of silence, then a 0.5 sine on bin 1 (magnitude 0.25, whose
    // root is 0.5): flat until the mixer reaches the sine, whatever has been
    // decoded ahead, then smoothed towards 0.5.
    start(write_wav("late.wav", rate, 2, make_signal(3 * rate, 2, [](int i) {
                          return i < rate ? 0.0f : bin1_sine(i, 0.5f);
                      })));
    render(rate / 2);
    spectrum_sample();
    EXPECT_EQ(bin(1), 0.0f);
    render(rate / 2 + 2048);
    for (float want : {0.25f, 0.375f, 0.4375f}) {
        spectrum_sample();
        EXPECT_NEAR(bin(1), want, 2e-3);
        EXPECT_EQ(spectrum_prev[1].load(), bin(1));
        render(1102);
    }
    ticks(20);
    EXPECT_NEAR(bin(1), 0.5f, 2e-3);
    EXPECT_LT(bin(10), 1e-3f);  // the Hann window spreads into bin 2 only
    audio_shutdown();

    // Full scale, silence, a mono file at its own rate, and one shorter than
    // the queue.
    const struct {
        int rate, channels, frames;
        float amplitude, want;
    } files[] = {{rate, 2, 2 * rate, 1.0f, std::sqrt(0.5f)}, {rate, 2, 2 * rate, 0.0f, 0.0f},
                 {48000, 1, 96000, 0.5f, 0.5f}, {rate, 1, 4096, 0.5f, 0.5f}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.frames);
        start(write_wav("file" + std::to_string(f.frames) + std::to_string(f.amplitude) + ".wav", f.rate, f.channels,
                          make_signal(f.frames, f.channels, [&](int i) { return bin1_sine(i, f.amplitude); })));
        render(4096);
        ticks(30);
        EXPECT_NEAR(bin(1), f.want, 2e-3);
        for (int i = 0; i < spectrum_size && f.want == 0.0f; ++i)
            ASSERT_EQ(bin(i), 0.0f) << "bin " << i;
        audio_shutdown();
    }
}

TEST_F(Audio, ReverbTailFollowsTheDecayTimeAndTheDryMusicPlaysWhole)
{
    const double steady = tail(3000.0f, 3000.0f, 0, 2 * rate);
    EXPECT_GT(steady, 1e-3);
    EXPECT_GT(steady, 10.0 * tail(800.0f, 800.0f, 0, 2 * rate));
    EXPECT_LT(tail(3000.0f, 800.0f, rate / 10, rate / 10), 0.2 * steady);  // a change while playing
    // The composer sets the time on every frame: that must not cut the tail.
    EXPECT_NEAR(tail(3000.0f, 3000.0f, 0, rate / 60), steady, 0.1 * steady);

    // A click reaches the output whole at its own frame, before the reverb's
    // first reflection.
    const int click = 2000;
    start(write_wav("click.wav", rate, 2, make_signal(rate, 2, [](int i) { return i == click ? 0.5f : 0.0f; })));
    set_reverb_time(3000.0f);
    const std::vector<float> out = render(rate / 2);
    EXPECT_EQ(rms(out, 0, click), 0.0);
    EXPECT_NEAR(out[2 * click], 0.5f, 1e-4);
    EXPECT_NEAR(out[2 * click + 1], 0.5f, 1e-4);
    EXPECT_GT(rms(out, click + 1, rate / 4), 1e-4);
}

TEST_F(Audio, UnloadableFilesGiveTheLoadBoxAndEachFailedFetchSmoothsAgain)
{
    const std::string ogg = bytes_of(write_ogg("good.ogg", rate, 2, std::vector<float>(2 * rate, 0.1f)));
    ASSERT_GT(ogg.size(), 200u);
    std::string long_name = audio_temp_dir() + "/";
    for (int i = 0; i < 120; ++i)
        long_name += "m\xc3\xbcsik-";  // several hundred bytes, two-byte characters
    const std::pair<std::string, std::string> cases[] = {
        {audio_temp_dir() + "/missing.ogg", "6"},
        {long_name + ".ogg", "6"},
        {write_bytes("empty.ogg", ""), "7"},
        {write_bytes("text.ogg", "this is not music, just a text file\n"), "7"},
        {write_bytes("cut.ogg", ogg.substr(0, 100)), "7"},
    };
    for (const auto& [path, code] : cases) {
        SCOPED_TRACE(path);
        capture_boxes();
        ASSERT_TRUE(audio_init());
        EXPECT_FALSE(music_load(path));
        EXPECT_TRUE(music_start());
        EXPECT_EQ(boxes, std::vector<std::string>{"bass error|Can't load file '" + path + "' (bass error code: " + code + ")"});
        set_reverb_time(3000.0f);  // no effect: changes nothing, breaks nothing
        render(4096);
        // Nothing to fetch: the smoothed values stay in the buffer and are
        // smoothed again, s -> (sqrt(s) + s) / 2.
        spectrum[1].store(0.25f);
        spectrum_prev[1].store(0.25f);
        spectrum_sample();
        EXPECT_FLOAT_EQ(bin(1), 0.375f);
        EXPECT_FLOAT_EQ(spectrum_prev[1].load(), 0.375f);
        EXPECT_EQ(bin(0), 0.0f);
        audio_shutdown();
    }
}

TEST_F(Audio, DamagedFilesPlayOnRoundTheirLoopAndNothingNonFiniteIsHeard)
{
    const std::string whole = bytes_of(noisy_ogg());
    std::string garbage = whole;
    for (std::size_t i = garbage.size() / 2; i < garbage.size() / 2 + 1500; ++i)
        garbage[i] = static_cast<char>(0xa5 ^ (i * 7));
    std::vector<float> nan = sine_signal(rate);
    for (std::size_t i = nan.size() / 2; i < nan.size() / 2 + 64; ++i)
        nan[i] = i % 2 ? NAN : INFINITY;
    const std::string files[] = {write_bytes("cut.ogg", whole.substr(0, whole.size() * 6 / 10)),
                                 write_bytes("garbage.ogg", garbage), write_wav("nan.wav", rate, 2, nan)};
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        start(path);
        EXPECT_TRUE(boxes.empty());
        // Past the first second (the reverb's swell) it never goes quiet.
        const std::vector<double> levels = listen(6.0);
        for (std::size_t i = 4; i < levels.size(); ++i)
            EXPECT_GE(levels[i], 0.05) << "quarter second " << i;
        audio_shutdown();
    }

    // A file emptied while it plays goes silent, and the spectrum stays finite.
    const std::string emptied = write_bytes("emptied.ogg", whole);
    start(emptied);
    ASSERT_EQ(truncate(emptied.c_str(), 0), 0);
    for (double level : listen(4.0))
        EXPECT_GE(level, 0.0);
    ticks(5);
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_TRUE(std::isfinite(bin(i))) << "bin " << i;
}

TEST_F(Audio, WithoutSoundTheSpectrumFollowsTheShowClock)
{
    no_sound = true;
    // One second of silence, one of the sine, looping every two seconds.
    const std::string file = write_wav("halves.wav", rate, 2, make_signal(2 * rate, 2, [](int i) {
                                             return i < rate ? 0.0f : bin1_sine(i, 0.5f);
                                         }));
    start(file);
    EXPECT_TRUE(boxes.empty());
    float out[2 * 64];
    EXPECT_FALSE(audio_render_loopback(out, 64));  // no device of any kind
    // Before the show clock starts it may read days: the tick must not
    // decode all the way there. A day is a whole number of loops.
    const double day = 24.0 * 3600.0 * 1000.0;
    const struct {
        double from;
        float low, high;
    } spans[] = {{1100.0, 0.49f, 0.51f}, {2100.0, 0.0f, 1e-3f}, {day + 1100.0, 0.49f, 0.51f}, {500.0, 0.0f, 1e-3f}};
    for (const auto& s : spans) {
        for (double t = s.from; t < s.from + 500.0; t += 25.0) {
            show_clock_set_manual(t);
            spectrum_sample();
        }
        EXPECT_GE(bin(1), s.low) << s.from;
        EXPECT_LE(bin(1), s.high) << s.from;
    }
    audio_shutdown();

    // Offline, at any show time, forwards or backwards: what the live ticks
    // at 25, 50, ... ms held.
    start(file);
    std::vector<float> live;
    for (int tick = 1; tick <= 120; ++tick) {
        show_clock_set_manual(tick * 25.0);
        spectrum_sample();
        if (tick == 39 || tick == 41 || tick == 120)
            live.push_back(bin(1));
    }
    audio_shutdown();
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(file));
    const std::pair<double, float> offline[] = {{3000.0, live[2]}, {975.0, live[0]}, {1040.0, live[1]}, {3000.0, live[2]}};
    for (const auto& [ms, want] : offline) {
        spectrum_at_show_time(ms);
        EXPECT_FLOAT_EQ(bin(1), want) << ms;
    }
    // A week in (whole loops), a start that replays only the ticks that still
    // count holds, to the bit, what ten minutes replayed tick by tick hold.
    for (double ms = 0.0; ms <= 600000.0; ms += 25.0)
        spectrum_at_show_time(ms);
    std::vector<float> replayed(spectrum_size);
    for (int i = 0; i < spectrum_size; ++i)
        replayed[i] = bin(i);
    audio_shutdown();
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(file));
    spectrum_at_show_time(604800000.0);
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_EQ(bin(i), replayed[i]) << i;
}

// OpenAL Soft is silent unless the user asks for its log with
// ALSOFT_LOGLEVEL (CTest runs this once with level 3 too); at that level it
// would also name any source, buffer or effect the music left behind.
TEST_F(Audio, OpenAlLogsOnlyWhenAskedAndNothingIsLeftBehind)
{
    std::ifstream environment("/proc/self/environ");  // as started, before any default was set
    std::string setting, asked;
    while (std::getline(environment, setting, '\0'))
        if (setting.starts_with("ALSOFT_LOGLEVEL="))
            asked = setting.substr(16);
    ::testing::internal::CaptureStderr();
    start(write_wav("log.wav", rate, 2, sine_signal(rate)));
    render(rate);
    audio_shutdown();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.find("AL lib: (II)") != std::string::npos, asked == "3") << log;
    EXPECT_EQ(log.find("Delet"), std::string::npos) << log;
}

// Not a multiple of the streaming buffer, so the seam falls inside a buffer.
constexpr int ramp_frames = 10007;
float ramp(int i) { return 0.05f + 0.9f * static_cast<float>(i % ramp_frames) / ramp_frames; }

TEST_F(Audio, StreamLoopsSampleExactly)
{
    int error = SOUND_OK;
    ASSERT_TRUE(output_open_loopback(rate, &error));
    ASSERT_TRUE(stream_open(write_wav("ramp.wav", rate, 2, make_signal(ramp_frames, 2, ramp)), &error));
    ASSERT_TRUE(stream_play(false, &error));
    const std::vector<float> out = render(4 * ramp_frames);
    for (int i = 256; i < 2 * 4 * ramp_frames; ++i)  // past the mixer's fade-in
        ASSERT_NEAR(out[i], ramp(i / 2), 1e-5) << "frame " << i / 2;
}

TEST(MusicFile, ReadsMonoAsStereoLoopsSeeksKeepsItFiniteAndRefusesWhatItCannotPlay)
{
    std::vector<float> mono = make_signal(ramp_frames, 1, ramp);
    mono[7] = NAN, mono[8] = INFINITY, mono[9] = -1e30f, mono[10] = -3.5f;
    int error = -1;
    MusicFile* file = music_file_open(write_wav("ramp1.wav", rate, 1, mono), &error);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(error, SOUND_OK);
    EXPECT_EQ(music_file_rate(file), rate);
    std::vector<float> stereo(2 * 3 * ramp_frames);
    EXPECT_EQ(music_file_read(file, stereo.data(), 3 * ramp_frames), 3 * ramp_frames);
    for (int i = 0; i < 2 * 3 * ramp_frames; ++i) {
        const float damaged[] = {0.0f, 4.0f, -4.0f, -3.5f};  // NaN is silence; the rest is held to 4x full scale
        const int f = i / 2 % ramp_frames;
        ASSERT_EQ(stereo[i], f >= 7 && f <= 10 ? damaged[f - 7] : ramp(f)) << i;
    }
    // Round the loop as often as it takes, to its first frame or any other.
    for (int64_t frame : {int64_t{5} * ramp_frames, int64_t{1000000} * ramp_frames + 77}) {
        EXPECT_TRUE(music_file_seek_looped(file, frame));
        EXPECT_EQ(music_file_read(file, stereo.data(), 1), 1);
        EXPECT_EQ(stereo[0], ramp(static_cast<int>(frame % ramp_frames))) << frame;
    }
    music_file_close(file);

    const std::pair<std::string, int> bad[] = {
        {audio_temp_dir() + "/nothing-here.wav", SOUND_ERROR_FILE_OPEN},
        {write_wav("zero.wav", rate, 2, {}), SOUND_ERROR_FILE_EMPTY},
        {write_wav("quad.wav", rate, 4, std::vector<float>(400, 0.1f)), SOUND_ERROR_FILE_CHANNELS},
        {write_bytes("noise.wav", std::string(5000, 'x')), SOUND_ERROR_FILE_FORMAT}};
    for (const auto& [path, code] : bad) {
        EXPECT_EQ(music_file_open(path, &error), nullptr) << path;
        EXPECT_EQ(error, code) << path;
    }
}

// The spectrum is that of the frames asked for, exactly as a plain decode of
// the file gives them, whether the analysis decodes on (a few thousand frames
// ahead: a Vorbis seek that short starts with wrong samples), reads back from
// what it decoded, or seeks far ahead round the loop.
TEST(Analysis, GivesTheSpectrumOfTheFramesAskedForWhereverTheyAre)
{
    const std::string path = noisy_ogg();
    int error = -1;
    MusicFile* file = music_file_open(path, &error);
    ASSERT_NE(file, nullptr);
    std::vector<float> stereo(2 * 4 * rate), mono(4 * rate);
    ASSERT_EQ(music_file_read(file, stereo.data(), 4 * rate), 4 * rate);
    music_file_close(file);
    for (int i = 0; i < 4 * rate; ++i)
        mono[i] = (stereo[2 * i] + stereo[2 * i + 1]) * 0.5f;

    ASSERT_TRUE(analysis_open(path, &error));
    std::vector<int64_t> firsts;
    for (int64_t first = 0; first < 5 * rate; first += 3001)
        firsts.push_back(first);
    for (int64_t first : {int64_t{5 * rate - 20000}, int64_t{40 * rate}, int64_t{44 * rate}, int64_t{60 * rate + 777}})
        firsts.push_back(first);
    float got[fft_bins], want[fft_bins];
    for (int64_t first : firsts) {
        ASSERT_TRUE(analysis_fft_at_frame(first, got));
        if (first % (4 * rate) + fft_size > 4 * rate)
            continue;  // the window spans the seam
        fft1024_magnitudes(&mono[first % (4 * rate)], want);
        for (int k = 0; k < fft_bins; ++k)
            ASSERT_NEAR(got[k], want[k], 1e-6) << "frame " << first << ", bin " << k;
    }
    analysis_close();
}

// Exactly its 1024 samples in and 512 magnitudes out, even against a page
// that cannot be touched.
TEST(Fft1024, ReadsAndWritesOnlyItsOwnFramesAndGivesTheScaledMagnitudes)
{
    ASSERT_TRUE(fft1024_prepare());
    const long page = sysconf(_SC_PAGESIZE);
    auto* pages = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
    auto* samples = reinterpret_cast<float*>(pages + page) - fft_size;
    for (int n = 0; n < fft_size; ++n)
        samples[n] = bin1_sine(n, 0.5f);
    float magnitudes[fft_bins];
    fft1024_magnitudes(samples, magnitudes);
    auto* guarded = reinterpret_cast<float*>(pages + page) - fft_bins;
    fft1024_magnitudes(samples, guarded);
    for (int k = 0; k < fft_bins; ++k) {
        EXPECT_NEAR(magnitudes[k], k == 1 ? 0.25f : k == 2 ? 0.125f : 0.0f, 1e-6) << k;
        EXPECT_EQ(guarded[k], magnitudes[k]) << k;
    }
    munmap(pages, 2 * page);
}

}  // namespace
