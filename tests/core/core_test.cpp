// The show's heartbeat: the clock, the frame grid, the envelope slots, the
// random generator.

#include "core/clock.h"
#include "core/envelope.h"
#include "core/frame_grid.h"
#include "core/rng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

class Envelopes : public ::testing::Test {
protected:
    void SetUp() override { env_reset_all(); }
    void TearDown() override { show_clock_set_source(nullptr); }
    static void at(double ms) { show_clock_use_manual(ms); }
};

// Values along (1 - elapsed/duration)^|curve|, a week in as on the first day;
// a slot with no length reads 0.
TEST_F(Envelopes, CurvesFallFromOneToZero)
{
    const double week = 604800.0 * 1000.0;
    const struct { double start; int duration; float curve; double at; double want; } cases[] = {
        {1000, 10000, 2, 1000, 1.0}, {1000, 10000, 2, 6000, 0.25}, {1000, 10000, 2, 11000, 0.0}, {0, 0, 1, 0, 0.0},
        {0, 1000, 1, 750, 0.25}, {0, 1000, 0.5f, 750, 0.5}, {0, 1000, 0, 750, 1.0}, {0, 1000, -2, 750, 0.0625},
        {week, 15000, 1, week + 1, 1.0 - 1.0 / 15000.0}, {week, 15000, 1, week + 7500.25, 0.5 - 0.25 / 15000.0}};
    for (const auto& c : cases) {
        at(c.start);
        env_trigger(3, c.duration, c.curve, true);
        at(c.at);
        const double v = env_value(3);
        EXPECT_TRUE(std::fabs(v - c.want) < 1e-9 && envelopes[3].value == static_cast<float>(v))
            << v << " for " << c.duration << " ms, curve " << c.curve << ", at " << c.at;
    }
}

// A running slot ignores triggers unless forced; so does one that has ended
// but not been read since. The first read after the end retires it. A stop
// only ends the slot: its curve runs on. Slot numbers wrap.
TEST_F(Envelopes, TriggersStopsAndSlotNumbers)
{
    at(0.0);
    env_trigger(5, 10000, 1.0f, false);
    at(4000.0);
    env_trigger(5, 500, 3.0f, false);
    EXPECT_TRUE(envelopes[5].start == 0.0 && envelopes[5].duration == 10000.0 && envelopes[5].curve == 1.0f);
    env_trigger(5, 500, 3.0f, true);
    EXPECT_DOUBLE_EQ(env_value(5), 1.0);

    env_trigger(6, 1000, 1.0f, false);
    at(5500.0);
    env_trigger(6, 1000, 1.0f, false);
    EXPECT_TRUE(envelopes[6].start == 4000.0 && envelopes[6].active && env_value(6) == 0.0 && !envelopes[6].active);
    env_trigger(6, 1000, 1.0f, false);
    EXPECT_DOUBLE_EQ(envelopes[6].start, 5500.0);

    env_trigger(7, 1000, 1.0f, false);
    env_stop(7);
    env_trigger(33, 1000, 1.0f, false);
    env_trigger(0, 1000, 1.0f, false);
    env_stop(32);
    EXPECT_TRUE(envelopes[1].active && !envelopes[0].active);
    at(6000.0);
    EXPECT_TRUE(env_value(7) == 0.5 && env_value(33) == 0.5 && env_value(-31) == 0.5);
}

// The show's time is 0 until it starts; a manual source replaces the real
// clock until it is taken away again.
TEST(ShowClock, RealClockStartsNearZeroAndManualSourceReplacesIt)
{
    EXPECT_EQ(show_time_ms(), 0.0) << "before the show starts";
    timer_init();
    show_clock_start();
    const double t0 = show_time_ms();
    show_clock_use_manual(90000.0);
    show_clock_set_source(nullptr);
    EXPECT_TRUE(t0 >= 0.0 && t0 < 1000.0 && show_time_ms() >= t0 && show_time_ms() < 60000.0) << t0;
}

TEST(Rng, SequenceAndRange)
{
    rng_seed(1);
    EXPECT_TRUE(rng_next() == 41 && rng_next() == 18467 && rng_next() == 6334);
    std::vector<float> draws(400000);
    std::ranges::generate(draws, frand);
    EXPECT_TRUE(std::ranges::min(draws) == 0.0f && std::ranges::max(draws) == 1.0f);
}

// At 25 a second: the first frame reaches tick 0, one on a tick reaches it,
// one drawn before the next tick reaches none, and one after a long frame
// reaches every tick it missed.
TEST(FrameGrid, AFrameStandsForTheTicksItIsTheFirstToReach)
{
    FrameGrid grid{.fps = 25.0};
    const struct { double ms; bool reaches; long long first, end; } frames[] = {
        {3.0, true, 0, 1}, {39.0, false, 0, 0}, {40.0, true, 1, 2}, {79.9, false, 0, 0}, {80.5, true, 2, 3},
        {200.0, true, 3, 6}, {200.0, false, 0, 0}};
    for (const auto& f : frames) {
        long long first = 0, end = 0;
        EXPECT_EQ(frame_grid_reach(&grid, f.ms, &first, &end), f.reaches) << f.ms;
        EXPECT_TRUE(!f.reaches || (first == f.first && end == f.end)) << f.ms << ": " << first << " to " << end;
    }
    EXPECT_EQ(grid.next, 6);
}

}  // namespace
