// The operator's actions: their words, what each does to the show by show
// time where a render cannot see it, and cue files with their mistakes named
// by line. (Renders played by cues are in cues_render_test.cpp.)

#include "core/clock.h"
#include "core/envelope.h"
#include "show/actions.h"
#include "show/cues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void apply(const std::string& text, double t)
{
    Action a{};
    std::string why;
    ASSERT_TRUE(action_parse(text, &a, &why)) << text << ": " << why;
    play_apply(a, t);
}

}  // namespace

TEST(Actions, WordsReadAndWrittenAlikeAndMistakesNamed)
{
    Action a{};
    std::string why;
    for (const char* text : {"mode 0", "mode 2", "next", "previous", "hold on", "hold off", "swell", "sensitivity 0",
                             "sensitivity 1.5625", "sensitivity 4", "blackout on", "blackout off"}) {
        EXPECT_TRUE(action_parse(text, &a, &why)) << text;
        EXPECT_EQ(action_text(a), text);
    }
    EXPECT_TRUE(action_parse("  sensitivity\t2e-1 ", &a, &why) && action_text(a) == "sensitivity 0.2");

    const std::pair<const char*, const char*> bad[] = {
        {"", "no action"}, {"jump", "unknown action 'jump'"}, {"mode", "mode needs a value"},
        {"next 1", "next takes no value"}, {"mode 3", "mode wants 0, 1 or 2, not 3"},
        {"mode 1.5", "mode wants 0, 1 or 2, not 1.5"}, {"mode -1", "mode wants 0, 1 or 2, not -1"},
        {"sensitivity 4.01", "sensitivity wants from 0 to 4, not 4.01"}, {"sensitivity nan", "'nan' is not a number"},
        {"sensitivity 1x", "'1x' is not a number"}, {"hold 1", "hold wants on or off, not '1'"},
        {"mode on", "mode wants a number, not 'on'"}, {"hold on now", "'now' after the action"}};
    for (const auto& [text, reason] : bad) {
        EXPECT_FALSE(action_parse(text, &a, &why)) << text;
        EXPECT_EQ(why, reason);
    }
}

// A pick while held changes the held mode; hold off where nothing is held
// changes nothing; a blackout turned round mid-fade goes back from where it
// stands; swell restarts slot 1 while it runs.
TEST(Actions, HeldPicksFadesTurnedRoundAndSwellsThatRestart)
{
    play_reset();
    EXPECT_EQ(play_mode(1e6 + 10.0), static_cast<int>(static_cast<long long>((1e6 + 10.0) * 0.04) % 3));
    apply("hold on", 50.0);
    apply("next", 70.0);
    EXPECT_EQ(play_mode(99.0), 0);
    apply("hold off", 100.0);
    apply("hold off", 120.0);
    EXPECT_EQ(play_mode(124.99), 0);
    EXPECT_EQ(play_mode(125.0), 1);

    apply("blackout on", 10.0);
    apply("blackout on", 10.4);
    apply("blackout off", 12.0);
    EXPECT_NEAR(play_blackout_level(12.1), 0.8f, 1e-6);
    apply("blackout on", 12.1);
    EXPECT_NEAR(play_blackout_level(12.15), 0.9f, 1e-6);
    EXPECT_TRUE(play_state(12.15).blackout);

    show_clock_use_manual(20000.0);
    env_reset_all();
    env_trigger(1, 10000, 2.0f, false);
    show_clock_set_manual(25000.0);
    apply("swell", 25.0);
    show_clock_set_manual(30000.0);
    EXPECT_NEAR(env_value(1), 0.25, 1e-9);
    show_clock_set_source(nullptr);
    env_reset_all();
    play_reset();
}

// Cues in any order play in time order, those at one time in file order;
// comments and blank lines are skipped; a mistake is named by file and line,
// and nothing of the file is kept.
TEST(Cues, ParsedInTimeOrderAndMistakesNamedByLine)
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
        {"\n\n-1 swell\n", "b.cues:3: '-1' is not a time in seconds"}, {"inf swell\n", "b.cues:1: 'inf' is not a time in seconds"},
        {"3\n", "b.cues:1: no action"}, {"# ok\n3 sensitivity 9\n", "b.cues:2: sensitivity wants from 0 to 4, not 9"}};
    for (const auto& [text, why] : bad) {
        EXPECT_FALSE(cues_parse(text, "b.cues", &cues, &error));
        EXPECT_EQ(error, why);
        EXPECT_EQ(cues.size(), 4u);
    }
}
