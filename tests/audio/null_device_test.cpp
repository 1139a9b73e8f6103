// The whole live path on OpenAL Soft's "null" output, which mixes in real
// time like a sound card and discards the result: the streaming thread, the
// 25 ms timer and the heard position, on a machine with no sound card.

#include "audio/audio.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Waits, up to a generous limit, for the timer thread to get somewhere.
template <typename Condition>
bool eventually(Condition condition)
{
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(NullDevice, PlaysLoopsAndFeedsTheSpectrumUntilShutdown)
{
    capture_boxes();
    no_sound = false;
    // Silence, then a 0.5 sine on bin 1, half a second each, looping.
    const std::string file = write_wav("halves.wav", 44100, 2, make_signal(44100, 2, [](int i) {
                                           return i < 22050 ? 0.0f : bin1_sine(i, 0.5f);
                                       }));
    ASSERT_TRUE(audio_init());
    ASSERT_TRUE(music_load(file));
    ASSERT_TRUE(music_start());
    show_clock_start();
    EXPECT_TRUE(captured_boxes().empty());

    // The spectrum rises with the sine and falls with the silence, again and
    // again as the file loops.
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(eventually([] { return spectrum[1].load() > 0.45f; })) << "round " << round;
        EXPECT_TRUE(eventually([] { return spectrum[1].load() < 0.05f; })) << "round " << round;
        set_reverb_time(800.0f + 1100.0f * round);
    }
    audio_shutdown();
    const float after = spectrum[1].load();
    audio_shutdown();
    EXPECT_EQ(spectrum[1].load(), after);
    message_box_set_hook(nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("ALSOFT_DRIVERS", "null", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
