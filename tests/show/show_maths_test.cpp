// The show's per-frame maths without GL, and its precision a week in.

#include "core/clock.h"
#include "core/envelope.h"
#include "show/box_field.h"
#include "show/composer.h"
#include "show/kaleidoscope.h"
#include "show/ripple.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

class ShowMaths : public ::testing::Test {
protected:
    void SetUp() override { env_reset_all(); }
    void TearDown() override { show_clock_set_source(nullptr); }
    static FrameStart frame_at(double ms)
    {
        show_clock_use_manual(ms);
        return frame_begin();
    }
};

// A picture of another shape is cut around its centre, never squeezed; a
// picture or view with no size is shown whole.
TEST(Composer, CutsAndSignedPowers)
{
    PictureCut wide = picture_cut(320, 180, 160, 120), tall = picture_cut(240, 180, 192, 108);
    EXPECT_TRUE(wide.s_span == 0.75f && wide.s0 == 0.125f && wide.t_span == 1.0f && wide.t0 == 0.0f);
    EXPECT_TRUE(tall.t_span == 0.75f && tall.t0 == 0.125f && tall.s_span == 1.0f && tall.s0 == 0.0f);
    for (PictureCut none : {picture_cut(0, 180, 160, 120), picture_cut(320, 180, 160, 0)})
        EXPECT_TRUE(none.s_span == 1.0f && none.t_span == 1.0f && none.s0 == 0.0f && none.t0 == 0.0f);
    EXPECT_TRUE(spow(-3.0, 0.0) == 1.0 && spow(0.0, 0.0) == 0.0 && spow(-4.0, 0.5) == -2.0);
}

// 80 s of frames 20 ms apart: 25 s per mode; slot 1 idle for the first 10 s of every 20,
// while the boxes refresh; the reverb swells to 3000 ms about 2.93 s into its
// run. Slot 0 runs 15 s; the frame after its end stops it, the next restarts it.
TEST_F(ShowMaths, EnvelopeTimelines)
{
    double peak_ms = 0.0, peak_at = -1.0;
    for (double ms = 0.0; ms <= 80000.0; ms += 20.0) {
        FrameStart f = frame_at(ms);
        ASSERT_TRUE(f.mode == frame_mode && f.mode == static_cast<int>(ms / 25000.0) % 3) << ms;
        double e1 = env_value(1), reverb = reverb_time_ms(e1);
        EXPECT_EQ(f.box_refresh, std::fmod(ms, 20000.0) < 10000.0) << ms;
        ASSERT_TRUE(reverb >= 800.0 && reverb <= 3000.0 + 1e-9) << ms;
        ASSERT_TRUE(e1 == 0.0 || !(ms < 10000.0 || (ms > 20040.0 && ms < 30000.0))) << ms;
        ASSERT_TRUE(e1 == 1.0 || !(ms == 10000.0 || ms == 30000.0)) << ms;
        if (ms < 20000.0 && reverb > peak_ms)
            peak_ms = reverb, peak_at = ms;
        EXPECT_TRUE(ms != 7500.0 || std::fabs(invert_strength(env_value(0)) - 1.0) < 1e-12);
        EXPECT_TRUE(ms != 15020.0 || !envelopes[0].active);
        EXPECT_TRUE(ms != 15040.0 || (envelopes[0].active && envelopes[0].start == 15040.0));
    }
    EXPECT_NEAR(peak_ms, 3000.0, 0.5);
    EXPECT_NEAR(peak_at - 10000.0, 2929.0, 30.0);
}

// A week in, 1 ms steps still move the envelopes by 1 ms worth, and the
// ripple and the kaleidoscope (whose periods divide 604800 s) show what they
// showed at the start.
TEST_F(ShowMaths, AWeekInMovesAsSmoothlyAsTheFirstDay)
{
    const double week_ms = 604800.0 * 1000.0;
    frame_at(week_ms);
    double previous = env_value(0);
    for (int k = 1; k <= 50; ++k) {
        frame_at(week_ms + k);
        EXPECT_NEAR(previous - env_value(0), 1.0 / 15000.0, 1e-9) << k;
        previous = env_value(0);
    }
    EXPECT_TRUE(frame_at(week_ms + 24990.0).mode == 0 && frame_at(week_ms + 25000.0).mode == 1);
    auto a = std::make_unique<RippleLattice>(), b = std::make_unique<RippleLattice>();
    ripple_lattice(0.137, 2.0f, a.get());
    ripple_lattice(604800.137, 2.0f, b.get());
    float t0[3][2], t1[3][2];
    kaleidoscope_triangle(0.5 * 0.137, t0);
    kaleidoscope_triangle(0.5 * 604800.137, t1);
    for (int k = 0, r = 0; k < ripple_columns; ++k, r = k % ripple_rows)
        EXPECT_TRUE(std::fabs(a->s[k][r] - b->s[k][r]) < 1e-5 && std::fabs(a->t[k][r] - b->t[k][r]) < 1e-5 &&
                    std::fabs(t0[k % 3][k % 2] - t1[k % 3][k % 2]) < 1e-5) << k;
}

// Loud bass must not fold the picture over: every point stays finite and on
// its own side of the centre.
TEST(Ripple, StrongBassNeverFolds)
{
    auto l = std::make_unique<RippleLattice>();
    for (float strength : {4.0f, 100.0f})
        for (double time : {0.0, 0.1, 0.2, 0.3, 0.4}) {
            ripple_lattice(time, strength, l.get());
            for (int k = 0; k < ripple_columns; ++k)
                for (int r = 0; r < ripple_rows; ++r)
                    ASSERT_TRUE(std::isfinite(l->s[k][r]) && std::isfinite(l->t[k][r]) &&
                                (k == 40 || (l->s[k][r] > 0.5f) == (k > 40)) &&
                                (r == 25 || (l->t[k][r] > 0.5f) == (r > 25))) << k << "," << r << " at " << strength;
        }
}

TEST(BoxField, PosesFollowTheFormulasAfterTheAnglesWrap)
{
    constexpr double pi = std::numbers::pi;
    const BoxTables& b = box_tables();
    // Box 2's angle first passes a whole turn at 98.78 s; a week in every
    // box's angle has gone round thousands of times.
    for (double show_s : {98.78, 604800.0 + 98.78, 604799.37}) {
        const double t = 0.2 * show_s;
        for (int i = 0; i < box_count; ++i) {
            const int m = i % 3;
            const double size = 0.125 * std::sin(0.3 * t) + 0.25 * b.scale[i];
            const double a = (0.0125 * i + m) * t * pi / 20.0;
            const double turn = (0.03125 * i + m) * t * 5.0;
            BoxPose p = box_pose(i, t, 1.0);
            EXPECT_TRUE(std::fabs(p.half[0] - (std::sin(a) + 1.01) * size) < 1e-5 &&
                        std::fabs(p.half[1] - 1.1 * size) < 1e-5 &&
                        std::fabs(p.half[2] - (std::cos(0.7 * a) + 1.01) * size) < 1e-5 &&
                        std::fabs(std::remainder(p.turn_degrees - turn, 360.0)) < 1e-3) << i << " at " << show_s;
        }
    }
    // A projection that puts the point in the plane of the eye (w = 0).
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, flat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float p[3] = {0.5f, -0.5f, 0};
    float s = 0, t = 0;
    EXPECT_FALSE(screen_texcoord(p, identity, flat, &s, &t));
}

}  // namespace
