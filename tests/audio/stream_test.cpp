// The parts under the music on their own: the looping stream and the reverb
// through OpenAL Soft's loopback mixer, and the decoder under them.

#include "audio/loopback.h"
#include "audio/music_file.h"
#include "audio/output.h"
#include "audio/reverb.h"
#include "audio/sound_error.h"
#include "audio/stream.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int rate = 44100;
// Not a multiple of the streaming buffer, so the seam falls inside a buffer.
constexpr int ramp_frames = 10007;

float ramp(int i) { return 0.05f + 0.9f * static_cast<float>(i) / ramp_frames; }

std::string ramp_file(int channels)
{
    return write_wav(channels == 2 ? "ramp2.wav" : "ramp1.wav", rate, channels,
                     make_signal(ramp_frames, channels, ramp));
}

class StreamTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        stream_close();
        reverb_destroy();
        output_close();
    }
    int error = SOUND_OK;
};

TEST_F(StreamTest, LoopSeamIsSampleExact)
{
    ASSERT_TRUE(output_open_loopback(rate, &error));
    ASSERT_TRUE(stream_open(ramp_file(2), &error));
    ASSERT_TRUE(stream_play(false, &error));
    std::vector<float> out(2 * 4 * ramp_frames);
    ASSERT_TRUE(audio_render_loopback(out.data(), 4 * ramp_frames));
    // The mixer fades a starting source in over its first samples.
    for (int i = 256; i < 4 * ramp_frames; ++i) {
        ASSERT_NEAR(out[2 * i], ramp(i % ramp_frames), 1e-5) << "frame " << i;
        ASSERT_NEAR(out[2 * i + 1], ramp(i % ramp_frames), 1e-5) << "frame " << i;
    }
}

TEST_F(StreamTest, StreamNeedsAnOutputAndIsOneAtATime)
{
    EXPECT_FALSE(stream_open(ramp_file(2), &error));
    EXPECT_EQ(error, SOUND_ERROR_NOT_INIT);
    ASSERT_TRUE(output_open_loopback(rate, &error));
    EXPECT_FALSE(output_open_loopback(rate, &error));
    EXPECT_EQ(error, SOUND_ERROR_ALREADY);
    ASSERT_TRUE(stream_open(ramp_file(2), &error));
    EXPECT_FALSE(stream_open(ramp_file(2), &error));
    EXPECT_EQ(error, SOUND_ERROR_LOADED);
    reverb_set_time(2500.0f);  // no effect yet: nothing changes
    EXPECT_EQ(reverb_time_ms(), 1000.0f);
}

TEST_F(StreamTest, ReverbTakesEveryDecayTime)
{
    ASSERT_TRUE(output_open_loopback(rate, &error));
    ASSERT_TRUE(stream_open(ramp_file(2), &error));
    ASSERT_TRUE(reverb_create(stream_source(), &error));
    ASSERT_TRUE(stream_play(false, &error));
    // The DirectX 8 reverb's default.
    EXPECT_EQ(reverb_time_ms(), 1000.0f);
    // Every time the show sweeps through, and beyond, is accepted.
    for (float ms = 0.001f; ms <= 3000.0f; ms = ms * 1.5f + 10.0f) {
        reverb_set_time(ms);
        float out[2 * 256];
        ASSERT_TRUE(audio_render_loopback(out, 256));
    }
    reverb_set_time(2500.0f);
    EXPECT_EQ(reverb_time_ms(), 2500.0f);
}

TEST_F(StreamTest, MonoFileAtAnotherRatePlaysAtItsOwnPitch)
{
    // 1 kHz at 48 kHz, mono: both output channels carry it, still 1 kHz.
    const int file_rate = 48000;
    ASSERT_TRUE(output_open_loopback(rate, &error));
    ASSERT_TRUE(stream_open(
        write_wav("mono48k.wav", file_rate, 1, make_signal(2 * file_rate, 1, [](int i) {
                      return 0.5f * std::sin(2.0f * 3.14159265f * 1000.0f * i / file_rate);
                  })),
        &error));
    ASSERT_TRUE(stream_play(false, &error));
    std::vector<float> out(2 * rate);
    ASSERT_TRUE(audio_render_loopback(out.data(), rate));
    int crossings = 0;
    for (int i = rate / 4 + 1; i < rate / 4 + rate / 2; ++i)
        if ((out[2 * (i - 1)] < 0.0f) != (out[2 * i] < 0.0f))
            ++crossings;
    EXPECT_NEAR(crossings, 1000, 6);  // two per period over half a second
    float peak = 0.0f;
    for (int i = rate / 4; i < rate / 2; ++i) {
        ASSERT_EQ(out[2 * i], out[2 * i + 1]);
        peak = std::max(peak, std::abs(out[2 * i]));
    }
    EXPECT_NEAR(peak, 0.5f, 0.01f);
}

TEST(MusicFile, MonoIsReadAsStereoAndLoopsExactly)
{
    int error = -1;
    MusicFile* file = music_file_open(ramp_file(1), &error);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(error, SOUND_OK);
    EXPECT_EQ(music_file_rate(file), rate);
    std::vector<float> stereo(2 * 3 * ramp_frames);
    EXPECT_EQ(music_file_read(file, stereo.data(), 3 * ramp_frames), 3 * ramp_frames);
    for (int i = 0; i < 3 * ramp_frames; ++i) {
        ASSERT_EQ(stereo[2 * i], ramp(i % ramp_frames)) << i;
        ASSERT_EQ(stereo[2 * i + 1], ramp(i % ramp_frames)) << i;
    }
    music_file_close(file);
}

TEST(MusicFile, RefusesWhatItCannotPlay)
{
    int error = SOUND_OK;
    EXPECT_EQ(music_file_open(audio_temp_dir() + "/nothing-here.wav", &error), nullptr);
    EXPECT_EQ(error, SOUND_ERROR_FILE_OPEN);
    EXPECT_EQ(music_file_open(write_wav("zero.wav", rate, 2, {}), &error), nullptr);
    EXPECT_EQ(error, SOUND_ERROR_FILE_EMPTY);
    EXPECT_EQ(music_file_open(write_wav("quad.wav", rate, 4, std::vector<float>(400, 0.1f)), &error),
              nullptr);
    EXPECT_EQ(error, SOUND_ERROR_FILE_CHANNELS);
    EXPECT_EQ(music_file_open(write_bytes("noise.wav", std::string(5000, 'x')), &error), nullptr);
    EXPECT_EQ(error, SOUND_ERROR_FILE_FORMAT);
}

}  // namespace
