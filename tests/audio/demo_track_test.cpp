// The demo track the build makes: its format, its level, its seam, and a bass
// that moves spectrum bin 1.

#include "audio/audio.h"
#include "core/clock.h"
#include "core/settings.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const std::string track = std::string(GLOWCAM_BINARY_DIR) + "/music/tidewave.ogg";

TEST(DemoTrack, IsALoudButUnclippedStereoLoopOfAboutAMinute)
{
    SF_INFO info{};
    SNDFILE* sf = sf_open(track.c_str(), SFM_READ, &info);
    ASSERT_NE(sf, nullptr) << track << ": " << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_VORBIS);
    EXPECT_NEAR(static_cast<double>(info.frames) / info.samplerate, 64.0, 0.1);

    std::vector<float> all(static_cast<size_t>(info.frames) * 2);
    ASSERT_EQ(sf_readf_float(sf, all.data(), info.frames), info.frames);
    sf_close(sf);
    float peak = 0.0f;
    double sum = 0.0;
    for (float v : all) {
        peak = std::max(peak, std::abs(v));
        sum += static_cast<double>(v) * v;
    }
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(peak, 0.5f);
    EXPECT_GT(std::sqrt(sum / all.size()), 0.05);
    // Seamless: the last frame runs on into the first as neighbours do.
    double step = 0.0;
    for (size_t i = 2; i < all.size(); i += 2)
        step = std::max(step, static_cast<double>(std::abs(all[i] - all[i - 2])));
    EXPECT_LT(std::abs(all[0] - all[all.size() - 2]), step);
    EXPECT_LT(std::abs(all[1] - all[all.size() - 1]), step);
}

TEST(DemoTrack, KickAndBassPulseBinOne)
{
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
