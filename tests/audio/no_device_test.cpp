// The show on a machine where OpenAL finds no output: ALSOFT_DRIVERS names a
// backend that does not exist, set before the library first looks at it.

#include "audio/audio.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class NoDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        no_sound = false;
        show_clock_use_manual(0.0);
        capture_boxes();
    }
    void TearDown() override
    {
        audio_shutdown();
        no_sound = false;
        message_box_set_hook(nullptr);
        show_clock_set_source(nullptr);
    }
    std::string sine_file()
    {
        return write_wav("sine.wav", 44100, 2,
                         make_signal(44100, 2, [](int i) { return bin1_sine(i, 0.5f); }));
    }
};

TEST_F(NoDeviceTest, BoxesThenASilentShowThatShutsDown)
{
    EXPECT_FALSE(audio_init());
    EXPECT_FALSE(music_load(sine_file()));
    EXPECT_TRUE(music_start());  // the timer runs all the same
    ASSERT_EQ(captured_boxes().size(), 2u);
    EXPECT_EQ(captured_boxes()[0], "bass error|Can't initialize sound device (bass error code: 2)");
    EXPECT_EQ(captured_boxes()[1],
              "bass error|Can't load file '" + sine_file() + "' (bass error code: 4)");
    set_reverb_time(2000.0f);
    spectrum_sample();
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_EQ(spectrum[i].load(), 0.0f);
    audio_shutdown();  // stops the timer: returns, and nothing ticks afterwards
}

TEST_F(NoDeviceTest, NoSoundNeedsNoDevice)
{
    no_sound = true;
    EXPECT_TRUE(audio_init());
    EXPECT_TRUE(music_load(sine_file()));
    EXPECT_TRUE(music_start());
    EXPECT_TRUE(captured_boxes().empty());
    audio_shutdown();
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("ALSOFT_DRIVERS", "no-such-backend", 1);
    setenv("ALSOFT_LOGLEVEL", "0", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
