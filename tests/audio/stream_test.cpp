// The audio library layer on its own: the looping stream through OpenAL
// Soft's loopback mixer, and the decoder under it.

#include "audio/music_file.h"
#include "audio/sound_lib.h"
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
    void TearDown() override { sound_free(); }
};

TEST_F(StreamTest, LoopSeamIsSampleExact)
{
    ASSERT_TRUE(sound_init_loopback(rate));
    const uint32_t stream = sound_stream_create_file(ramp_file(2));
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(sound_stream_play_looping(stream));
    std::vector<float> out(2 * 4 * ramp_frames);
    ASSERT_TRUE(sound_render(out.data(), 4 * ramp_frames));
    // The mixer fades a starting source in over its first samples.
    for (int i = 256; i < 4 * ramp_frames; ++i) {
        ASSERT_NEAR(out[2 * i], ramp(i % ramp_frames), 1e-5) << "frame " << i;
        ASSERT_NEAR(out[2 * i + 1], ramp(i % ramp_frames), 1e-5) << "frame " << i;
    }
}

TEST_F(StreamTest, StreamNeedsInitAndIsOneAtATime)
{
    EXPECT_EQ(sound_stream_create_file(ramp_file(2)), 0u);
    EXPECT_EQ(sound_error_get_code(), SOUND_ERROR_NOT_INIT);
    ASSERT_TRUE(sound_init_loopback(rate));
    EXPECT_FALSE(sound_init_loopback(rate));
    EXPECT_EQ(sound_error_get_code(), SOUND_ERROR_ALREADY);
    ASSERT_NE(sound_stream_create_file(ramp_file(2)), 0u);
    EXPECT_EQ(sound_stream_create_file(ramp_file(2)), 0u);
    EXPECT_EQ(sound_error_get_code(), SOUND_ERROR_STREAM_EXISTS);
    EXPECT_FALSE(sound_stream_play_looping(77));
    EXPECT_EQ(sound_error_get_code(), SOUND_ERROR_HANDLE);
    ReverbParams params{};
    EXPECT_FALSE(sound_fx_get_parameters(0, &params));
}

TEST_F(StreamTest, ReverbParametersReadBackAsWritten)
{
    ASSERT_TRUE(sound_init_loopback(rate));
    const uint32_t fx = sound_channel_set_reverb(sound_stream_create_file(ramp_file(2)));
    ASSERT_NE(fx, 0u);
    ReverbParams params{};
    ASSERT_TRUE(sound_fx_get_parameters(fx, &params));
    // The DirectX 8 reverb's defaults.
    EXPECT_EQ(params.in_gain_db, 0.0f);
    EXPECT_EQ(params.reverb_mix_db, 0.0f);
    EXPECT_EQ(params.reverb_time_ms, 1000.0f);
    EXPECT_EQ(params.high_freq_rt_ratio, 0.001f);
    // Every time the show sweeps through, and beyond, is accepted.
    for (float ms = 0.001f; ms <= 3000.0f; ms = ms * 1.5f + 10.0f) {
        params.reverb_time_ms = ms;
        ASSERT_TRUE(sound_fx_set_parameters(fx, &params));
        float out[2 * 256];
        ASSERT_TRUE(sound_render(out, 256));
    }
    params.reverb_time_ms = 2500.0f;
    ASSERT_TRUE(sound_fx_set_parameters(fx, &params));
    ReverbParams back{};
    ASSERT_TRUE(sound_fx_get_parameters(fx, &back));
    EXPECT_EQ(back.reverb_time_ms, 2500.0f);
}

TEST_F(StreamTest, MonoFileAtAnotherRatePlaysAtItsOwnPitch)
{
    // 1 kHz at 48 kHz, mono: both output channels carry it, still 1 kHz.
    const int file_rate = 48000;
    ASSERT_TRUE(sound_init_loopback(rate));
    const uint32_t stream = sound_stream_create_file(
        write_wav("mono48k.wav", file_rate, 1, make_signal(2 * file_rate, 1, [](int i) {
                      return 0.5f * std::sin(2.0f * 3.14159265f * 1000.0f * i / file_rate);
                  })));
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(sound_stream_play_looping(stream));
    std::vector<float> out(2 * rate);
    ASSERT_TRUE(sound_render(out.data(), rate));
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
