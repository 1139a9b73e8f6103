#include "core/clock.h"
#include "core/envelope.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class EnvelopeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env_reset_all();
        show_clock_use_manual(0.0);
    }
    void TearDown() override { show_clock_set_source(nullptr); }
    void at(double ms) { show_clock_set_manual(ms); }
};

TEST_F(EnvelopeTest, QuadraticFallAndExpiry)
{
    at(1000.0);
    env_trigger(3, 10000, 2.0f, false);
    EXPECT_DOUBLE_EQ(env_value(3), 1.0);
    at(6000.0);
    EXPECT_DOUBLE_EQ(env_value(3), 0.25);
    EXPECT_FLOAT_EQ(envelopes[3].value, 0.25f);
    at(11000.0);
    EXPECT_DOUBLE_EQ(env_value(3), 0.0) << "exactly at the end it is still on the curve";
    EXPECT_TRUE(envelopes[3].active);
    at(11000.5);
    EXPECT_DOUBLE_EQ(env_value(3), 0.0);
    EXPECT_FALSE(envelopes[3].active) << "the read after expiry retires the slot";
    EXPECT_FLOAT_EQ(envelopes[3].value, 0.0f);
}

TEST_F(EnvelopeTest, CurveShapes)
{
    env_trigger(0, 1000, 1.0f, true);
    env_trigger(1, 1000, 0.5f, true);
    env_trigger(2, 1000, 0.0f, true);
    env_trigger(4, 1000, -2.0f, true);  // negative curves act as positive ones
    at(750.0);
    EXPECT_DOUBLE_EQ(env_value(0), 0.25);
    EXPECT_DOUBLE_EQ(env_value(1), 0.5);
    EXPECT_DOUBLE_EQ(env_value(2), 1.0);
    EXPECT_DOUBLE_EQ(env_value(4), 0.0625);
    EXPECT_FLOAT_EQ(envelopes[4].curve, 2.0f);
}

TEST_F(EnvelopeTest, TriggerWithoutForceLeavesARunningSlotAlone)
{
    env_trigger(5, 10000, 1.0f, false);
    at(4000.0);
    env_trigger(5, 500, 3.0f, false);
    EXPECT_DOUBLE_EQ(envelopes[5].start, 0.0);
    EXPECT_DOUBLE_EQ(envelopes[5].duration, 10000.0);
    EXPECT_FLOAT_EQ(envelopes[5].curve, 1.0f);
    env_trigger(5, 500, 3.0f, true);
    EXPECT_DOUBLE_EQ(env_value(5), 1.0) << "a forced trigger restarts from 1";
}

TEST_F(EnvelopeTest, ExpiredButUnreadSlotStillIgnoresTriggers)
{
    env_trigger(6, 1000, 1.0f, false);
    at(5000.0);
    env_trigger(6, 1000, 1.0f, false);
    EXPECT_DOUBLE_EQ(envelopes[6].start, 0.0);
    EXPECT_DOUBLE_EQ(env_value(6), 0.0);
    env_trigger(6, 1000, 1.0f, false);
    EXPECT_DOUBLE_EQ(envelopes[6].start, 5000.0);
}

TEST_F(EnvelopeTest, StopKeepsTheCurveRunningUntilItsEnd)
{
    env_trigger(7, 1000, 1.0f, false);
    env_stop(7);
    EXPECT_FALSE(envelopes[7].active);
    at(500.0);
    EXPECT_DOUBLE_EQ(env_value(7), 0.5);
}

TEST_F(EnvelopeTest, SlotNumbersWrap)
{
    env_trigger(33, 1000, 1.0f, false);
    EXPECT_TRUE(envelopes[1].active);
    env_stop(32);
    env_trigger(0, 1000, 1.0f, false);
    env_stop(32);
    EXPECT_FALSE(envelopes[0].active);
    at(250.0);
    EXPECT_DOUBLE_EQ(env_value(33), 0.75) << "reads wrap like triggers";
    EXPECT_DOUBLE_EQ(env_value(-31), 0.75);
}

TEST_F(EnvelopeTest, SlotsWithoutLengthReadZero)
{
    EXPECT_DOUBLE_EQ(env_value(9), 0.0) << "never triggered, read at show time 0";
    env_trigger(10, 0, 1.0f, false);
    double v = env_value(10);
    EXPECT_FALSE(std::isnan(v));
    EXPECT_DOUBLE_EQ(v, 0.0);
    EXPECT_FALSE(envelopes[10].active);
}

TEST_F(EnvelopeTest, AWeekIntoTheShowStillResolvesMilliseconds)
{
    const double week = 604800.0 * 1000.0;
    at(week);
    env_trigger(0, 15000, 1.0f, false);
    at(week + 1.0);
    EXPECT_NEAR(env_value(0), 1.0 - 1.0 / 15000.0, 1e-9);
    at(week + 7500.25);
    EXPECT_NEAR(env_value(0), 0.5 - 0.25 / 15000.0, 1e-9);
}

TEST(ShowClock, RealClockStartsNearZeroAndManualSourceReplacesIt)
{
    EXPECT_EQ(show_time_ms(), 0.0) << "before the show starts";
    timer_init();
    show_clock_start();
    double t0 = show_time_ms();
    EXPECT_GE(t0, 0.0);
    EXPECT_LT(t0, 1000.0);
    EXPECT_GE(show_time_ms(), t0) << "never runs backwards";
    show_clock_use_manual(1234.5);
    EXPECT_DOUBLE_EQ(show_time_ms(), 1234.5);
    show_clock_set_source(nullptr);
    EXPECT_LT(show_time_ms(), 60000.0);
}

}  // namespace
