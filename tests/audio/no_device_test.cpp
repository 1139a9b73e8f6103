// The show on a machine where OpenAL finds no output: its ALSA backend on an
// ALSA configuration with no devices at all, set before either library first
// looks at it.

#include "audio/audio.h"
#include "core/clock.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
    // What the libraries write on standard error while `run` runs.
    template <typename Run>
    std::string stderr_of(Run run)
    {
        const std::string path = audio_temp_dir() + "/stderr.txt";
        std::fflush(stderr);
        const int saved = dup(2);
        std::FILE* file = std::fopen(path.c_str(), "w");
        dup2(fileno(file), 2);
        run();
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        std::fclose(file);
        std::stringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
};

TEST_F(NoDeviceTest, OneBoxThenTheMusicDrivesTheSpectrumAsWithNoSound)
{
    const std::string written = stderr_of([&] {
        EXPECT_FALSE(audio_init());
        EXPECT_TRUE(music_load(sine_file()));
        EXPECT_TRUE(music_start());
    });
    EXPECT_EQ(written, "");  // the box is the show's only word
    ASSERT_EQ(captured_boxes().size(), 1u);
    EXPECT_EQ(captured_boxes()[0], "bass error|Can't initialize sound device (bass error code: 2)");
    set_reverb_time(2000.0f);
    for (double t = 25.0; t <= 500.0; t += 25.0) {
        show_clock_set_manual(t);
        spectrum_sample();
    }
    EXPECT_NEAR(spectrum[1].load(), 0.5f, 2e-3);
    audio_shutdown();  // stops the timer: returns, and nothing ticks afterwards
}

TEST_F(NoDeviceTest, OnlyAFileThatCannotBeReadGivesTheLoadBox)
{
    const std::string absent = audio_temp_dir() + "/absent.ogg";
    EXPECT_FALSE(audio_init());
    EXPECT_FALSE(music_load(absent));
    EXPECT_TRUE(music_start());
    ASSERT_EQ(captured_boxes().size(), 2u);
    EXPECT_EQ(captured_boxes()[1], "bass error|Can't load file '" + absent + "' (bass error code: 6)");
    spectrum_sample();
    for (int i = 0; i < spectrum_size; ++i)
        ASSERT_EQ(spectrum[i].load(), 0.0f);
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
    std::ofstream(audio_temp_dir() + "/asound.conf");  // no devices at all
    setenv("ALSA_CONFIG_PATH", (audio_temp_dir() + "/asound.conf").c_str(), 1);
    setenv("ALSOFT_DRIVERS", "alsa", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
