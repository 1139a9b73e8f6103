// The operator's actions: their words, what each does to the show by show
// time, and cue files with their mistakes named by line.

#include "core/clock.h"
#include "core/envelope.h"
#include "show/actions.h"
#include "show/cues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

Action parsed(const std::string& text)
{
    Action a{ActionKind::swell, -1.0};
    std::string why;
    EXPECT_TRUE(action_parse(text, &a, &why)) << text << ": " << why;
    return a;
}

std::string refusal(const std::string& text)
{
    Action a{};
    std::string why;
    EXPECT_FALSE(action_parse(text, &a, &why)) << text;
    return why;
}

void apply(const std::string& text, double t) { play_apply(parsed(text), t); }

}  // namespace

TEST(Actions, WordsReadAndWrittenAlike)
{
    for (const char* text : {"mode 0", "mode 2", "next", "previous", "hold on", "hold off", "swell",
                             "sensitivity 0", "sensitivity 1.5625", "sensitivity 4", "blackout on", "blackout off"})
        EXPECT_EQ(action_text(parsed(text)), text);
    EXPECT_EQ(action_text(parsed("  mode\t1  ")), "mode 1");
    EXPECT_EQ(action_text(parsed("sensitivity 2e-1")), "sensitivity 0.2");

    const std::pair<const char*, const char*> bad[] = {
        {"", "no action"}, {"jump", "unknown action 'jump'"}, {"mode", "mode needs a value"},
        {"next 1", "next takes no value"}, {"mode 3", "mode wants 0, 1 or 2, not 3"},
        {"mode 1.5", "mode wants 0, 1 or 2, not 1.5"}, {"mode -1", "mode wants 0, 1 or 2, not -1"},
        {"sensitivity 4.01", "sensitivity wants from 0 to 4, not 4.01"},
        {"sensitivity -0.5", "sensitivity wants from 0 to 4, not -0.5"}, {"sensitivity nan", "'nan' is not a number"},
        {"sensitivity 1x", "'1x' is not a number"}, {"hold 1", "hold wants on or off, not '1'"},
        {"blackout yes", "'yes' is not a number"}, {"mode on", "mode wants a number, not 'on'"},
        {"hold on now", "'now' after the action"}};
    for (const auto& [text, why] : bad)
        EXPECT_EQ(refusal(text), why) << text;
}

// Without an action the modes turn every 25 s from 0 s; a pick restarts the
// turn from its own time, a hold stops it and its end restarts it.
TEST(Actions, ModesTurnFromTheLastPick)
{
    play_reset();
    for (const auto& [t, mode] : {std::pair{0.0, 0}, {24.99, 0}, {25.0, 1}, {49.99, 1}, {50.0, 2}, {75.0, 0},
                                  {1e6 + 10.0, static_cast<int>(static_cast<long long>((1e6 + 10.0) * 0.04) % 3)}})
        EXPECT_EQ(play_mode(t), mode) << t;

    apply("mode 2", 10.0);
    for (const auto& [t, mode] : {std::pair{10.0, 2}, {34.99, 2}, {35.0, 0}, {59.99, 0}, {60.0, 1}, {85.0, 2}})
        EXPECT_EQ(play_mode(t), mode) << t;

    apply("hold on", 50.0);  // mode 0, held over 60 s
    EXPECT_EQ(play_mode(61.0), 0);
    EXPECT_EQ(play_mode(500.0), 0);
    apply("next", 70.0);  // still held, one on
    EXPECT_EQ(play_mode(99.0), 1);
    apply("hold off", 100.0);
    EXPECT_EQ(play_mode(124.99), 1);
    EXPECT_EQ(play_mode(125.0), 2);

    apply("mode 2", 130.0);
    apply("next", 131.0);
    EXPECT_EQ(play_mode(131.0), 0) << "next wraps";
    apply("previous", 132.0);
    apply("previous", 133.0);
    EXPECT_EQ(play_mode(133.0), 1) << "previous wraps";
    EXPECT_EQ(play_mode(158.0), 2);
    apply("hold off", 140.0);  // not held: nothing changes
    EXPECT_EQ(play_mode(158.0), 2);

    const PlayState s = play_state(158.0);
    EXPECT_TRUE(s.mode == 2 && !s.hold && s.sensitivity == 1.0 && !s.blackout);
    play_reset();
    EXPECT_EQ(play_mode(130.0), 2);
}

// Blackout fades to black over half a second and back, turning round from
// wherever the fade stands; sensitivity is kept; swell starts slot 1 even
// while it runs.
TEST(Actions, BlackoutFadesSensitivityAndSwell)
{
    play_reset();
    EXPECT_EQ(play_blackout_level(3.0), 0.0f);
    apply("blackout on", 10.0);
    EXPECT_EQ(play_blackout_level(10.0), 0.0f);
    EXPECT_NEAR(play_blackout_level(10.25), 0.5f, 1e-6);
    EXPECT_EQ(play_blackout_level(10.5), 1.0f);
    EXPECT_EQ(play_blackout_level(400.0), 1.0f);
    apply("blackout on", 11.0);
    EXPECT_EQ(play_blackout_level(11.0), 1.0f);
    apply("blackout off", 12.0);
    EXPECT_NEAR(play_blackout_level(12.1), 0.8f, 1e-6);
    apply("blackout on", 12.1);
    EXPECT_NEAR(play_blackout_level(12.2), 1.0f, 1e-6);
    apply("blackout off", 13.0);
    EXPECT_EQ(play_blackout_level(13.5), 0.0f);
    EXPECT_FALSE(play_state(13.5).blackout);

    apply("sensitivity 2.5", 14.0);
    EXPECT_EQ(play_sensitivity(), 2.5);
    EXPECT_TRUE(play_state(14.0).sensitivity == 2.5);

    show_clock_use_manual(20000.0);
    env_reset_all();
    env_trigger(1, 10000, 2.0f, false);
    show_clock_set_manual(25000.0);
    apply("swell", 25.0);
    EXPECT_EQ(env_value(1), 1.0);
    show_clock_set_manual(30000.0);
    EXPECT_NEAR(env_value(1), 0.25, 1e-9);
    show_clock_set_source(nullptr);
    env_reset_all();
    play_reset();
}

// Cues in any order play in time order, those at one time in file order,
// each at its own time; comments and blank lines are skipped; a mistake is
// named by file and line, and nothing of the file is kept.
TEST(Cues, ParsedSortedAndPlayedByShowTime)
{
    std::vector<Cue> cues;
    std::string error;
    ASSERT_TRUE(cues_parse("# set\n30 hold on\n\n10 mode 2   # drop\n10 next\r\n  5.5 blackout on\n", "a.cues",
                           &cues, &error)) << error;
    ASSERT_EQ(cues.size(), 4u);
    EXPECT_EQ(cues[0].t, 5.5);
    EXPECT_EQ(action_text(cues[1].action) + "," + action_text(cues[2].action), "mode 2,next");

    const std::pair<const char*, const char*> bad[] = {
        {"1 mode 1\nsoon mode 1\n", "b.cues:2: 'soon' is not a time in seconds"},
        {"\n\n-1 swell\n", "b.cues:3: '-1' is not a time in seconds"},
        {"inf swell\n", "b.cues:1: 'inf' is not a time in seconds"},
        {"3\n", "b.cues:1: no action"},
        {"3 fade\n", "b.cues:1: unknown action 'fade'"},
        {"# ok\n3 sensitivity 9\n", "b.cues:2: sensitivity wants from 0 to 4, not 9"}};
    for (const auto& [text, why] : bad) {
        std::vector<Cue> kept = cues;
        EXPECT_FALSE(cues_parse(text, "b.cues", &kept, &error));
        EXPECT_EQ(error, why);
        EXPECT_EQ(kept.size(), 4u);
    }

    const std::string path = (std::filesystem::temp_directory_path() / "glowcam-actions-test.cues").string();
    std::ofstream(path) << "40 mode 1\n10 mode 2\n20 hold on\n";
    ASSERT_TRUE(cues_load(path, &error)) << error;
    play_reset();
    cues_play(9.99);
    EXPECT_EQ(play_mode(9.99), 0);
    cues_play(30.0);  // both due: mode 2 from 10 s, held at 20 s
    EXPECT_EQ(play_mode(36.0), 2) << "the turn counts from the cue's time, not the frame's";
    cues_play(41.0);
    EXPECT_EQ(play_mode(41.0), 1);
    cues_play(41.0);
    EXPECT_EQ(play_mode(41.0), 1);
    std::filesystem::remove(path);
    EXPECT_FALSE(cues_load(path, &error));
    EXPECT_EQ(error, "cannot read " + path + ": No such file or directory");
    EXPECT_FALSE(cues_load("/", &error));
    play_reset();
}

// --save-cues writes a line as each action happens, readable as cues.
TEST(Cues, SavedActionsReadBackAsCues)
{
    const std::string path = (std::filesystem::temp_directory_path() / "glowcam-saved.cues").string();
    std::string error;
    ASSERT_TRUE(cues_save_open(path, &error)) << error;
    cues_save(1.23456, parsed("mode 1"));
    cues_save(2.5, parsed("sensitivity 1.5625"));
    std::ifstream early(path);
    const std::string text(std::istreambuf_iterator<char>(early), {});
    EXPECT_NE(text.find("1.235 mode 1\n2.500 sensitivity 1.5625\n"), std::string::npos) << "flushed as it happens";
    cues_save_close();
    std::vector<Cue> cues;
    ASSERT_TRUE(cues_parse(text, path, &cues, &error)) << error;
    EXPECT_EQ(cues.size(), 2u);
    EXPECT_FALSE(cues_save_open("/nonexistent/x.cues", &error));
    EXPECT_EQ(error, "cannot write /nonexistent/x.cues: No such file or directory");
    std::filesystem::remove(path);
}
