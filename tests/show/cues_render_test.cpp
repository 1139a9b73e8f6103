// Cue files played by --render, the mode of each frame read from the
// pictures: each frame is matched with renders that hold one mode throughout.

#include "tests/audio/audio_files.h"
#include "tests/support/frames.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path root = fs::temp_directory_path() / ("glowcam-cues-" + std::to_string(getpid()));

std::vector<Pixels> render(const std::string& name, const std::string& cues, const std::vector<std::string>& options)
{
    fs::create_directories(root);
    return render_with_cues(root / name, cues, options);
}

double mean(const Pixels& a) { return mean_difference(a, Pixels(a.size(), 0)); }

}  // namespace

// One frame a second from 0 s: a pick at 10 s holds until 35 s and turns; a
// hold at 40 s keeps mode 0 over 60 s until 70 s, and the turn restarts
// there; next and previous wrap round.
TEST(CueRender, ModesFollowThePicksHoldsAndTurns)
{
    const std::vector<std::string> timing = {"--fps", "1", "--duration", "100"};
    const auto played = render("played", "# a set\n40 hold on\n10 mode 2\n70 hold off\n97 next\n98 next\n99 previous\n",
                               timing);
    const auto held = render_held_modes(root / "held", "", timing);
    ASSERT_EQ(played.size(), 100u);
    for (const auto& [t, mode] : {std::pair{9, 0}, {10, 2}, {34, 2}, {35, 0}, {59, 0}, {60, 0}, {69, 0}, {94, 0},
                                  {95, 1}, {96, 1}, {97, 2}, {98, 0}, {99, 2}})
        EXPECT_EQ(nearest_mode(played, held, t), mode) << "at " << t << " s";
    EXPECT_LT(mean_difference(played[10], held[2][10]), 0.5) << "the same picture as mode 2 held from the start";
    fs::remove_all(root);
}

// Four frames a second from 4 s: a swell at 4.5 s turns the streaks; the
// blackout from 6 s is half dark at 6.25 s and black from 6.5 s to 8 s, and
// the picture is back whole at 8.5 s; sensitivity 0 stills the streaks and
// the ripple as silence does.
TEST(CueRender, SwellBlackoutAndSensitivity)
{
    const std::vector<std::string> timing = {"--fps", "4", "--start", "4", "--duration", "5"};
    const auto plain = render("plain", "", timing);
    const auto swelled = render("swelled", "4.5 swell\n", timing);
    const auto dark = render("dark", "8 blackout off\n4.5 swell\n6 blackout on\n", timing);
    ASSERT_EQ(plain.size(), 20u);
    ASSERT_EQ(dark.size(), 20u);
    EXPECT_EQ(mean_difference(plain[1], swelled[1]), 0.0);
    EXPECT_GT(mean_difference(plain[4], swelled[4]), 1.0) << "the swell turns the streaks";
    EXPECT_EQ(mean_difference(dark[8], swelled[8]), 0.0);
    EXPECT_NEAR(mean(dark[9]), mean(swelled[9]) * 0.5, 2.0);
    for (int i = 10; i <= 16; ++i)
        EXPECT_EQ(mean(dark[i]), 0.0) << i;
    EXPECT_NEAR(mean(dark[17]), mean(swelled[17]) * 0.5, 2.0);
    EXPECT_EQ(mean_difference(dark[18], swelled[18]), 0.0);

    const std::string silence = write_audio("silence.wav", 44100, 2, std::vector<float>(2 * 44100 * 60, 0.0f));
    std::vector<std::string> ripple = {"--fps", "4", "--start", "55", "--duration", "1"};
    const auto loud = render("loud", "", ripple), still = render("still", "0 sensitivity 0\n", ripple);
    ripple.insert(ripple.end(), {"--music", silence});
    const auto silent = render("silent", "", ripple);
    ASSERT_EQ(still.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(mean_difference(still[i], silent[i]) == 0.0 && mean_difference(loud[i], silent[i]) > 1.0) << i;
    fs::remove_all(root);
}
