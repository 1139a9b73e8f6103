// The show's per-frame maths, without GL: the mode cycle, the envelope
// timelines, the effect tables and lattices, and their precision a week in.

#include "core/clock.h"
#include "core/envelope.h"
#include "show/box_field.h"
#include "show/composer.h"
#include "show/feedback.h"
#include "show/kaleidoscope.h"
#include "show/ripple.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

class ShowClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env_reset_all();
        show_clock_use_manual(0.0);
    }
    void TearDown() override { show_clock_set_source(nullptr); }

    FrameStart frame_at(double ms)
    {
        show_clock_set_manual(ms);
        return frame_begin();
    }
};

TEST(Composer, ModeFollowsShowTime)
{
    EXPECT_EQ(mode_for_time(0.0), 0);
    EXPECT_EQ(mode_for_time(24.99), 0);
    EXPECT_EQ(mode_for_time(25.0), 1);
    EXPECT_EQ(mode_for_time(49.99), 1);
    EXPECT_EQ(mode_for_time(50.0), 2);
    EXPECT_EQ(mode_for_time(75.0), 0);
    // 604800 s (a week) is a whole number of 75 s cycles.
    EXPECT_EQ(mode_for_time(604800.0 + 24.99), 0);
    EXPECT_EQ(mode_for_time(604800.0 + 25.0), 1);
}

TEST_F(ShowClockTest, FrameBeginSetsModeFromClock)
{
    EXPECT_EQ(frame_at(24990.0).mode, 0);
    EXPECT_EQ(frame_mode, 0);
    EXPECT_EQ(frame_at(25000.0).mode, 1);
    EXPECT_EQ(frame_mode, 1);
    EXPECT_EQ(frame_at(50000.0).mode, 2);
    EXPECT_EQ(frame_at(75000.0).mode, 0);
    EXPECT_DOUBLE_EQ(frame_at(12345.0).t, 12.345);
}

TEST(Composer, SignedPower)
{
    EXPECT_EQ(spow(0.0, 0.0), 0.0);
    EXPECT_EQ(spow(0.0, 0.5), 0.0);
    EXPECT_EQ(spow(-3.0, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(spow(4.0, 0.5), 2.0);
    EXPECT_DOUBLE_EQ(spow(-4.0, 0.5), -2.0);
    EXPECT_DOUBLE_EQ(spow(-2.0, 3.0), -8.0);
}

// 40 s of frames 20 ms apart: slot 1 idle for the first 10 s, then the
// reverb swells to 3000 ms about 2.93 s into its run and falls back.
TEST_F(ShowClockTest, Slot1AndReverbTimeline)
{
    double peak_ms = 0.0, peak_at = -1.0;
    for (double ms = 0.0; ms <= 40000.0; ms += 20.0) {
        FrameStart f = frame_at(ms);
        double e1 = env_value(1);
        double reverb = reverb_time_ms(e1);
        bool first_half = std::fmod(ms, 20000.0) < 10000.0;
        EXPECT_EQ(f.box_refresh, first_half) << ms;
        EXPECT_GE(reverb, 800.0) << ms;
        EXPECT_LE(reverb, 3000.0 + 1e-9) << ms;
        if (ms < 10000.0) {
            ASSERT_EQ(e1, 0.0) << ms;
            EXPECT_EQ(reverb, 800.0);
            EXPECT_EQ(feedback_angle(e1), 0.0);
            EXPECT_DOUBLE_EQ(feedback_pass_alpha(e1, 2.0), 0.3 * 2.0);
        }
        if (ms >= 10000.0 && ms < 20000.0 && reverb > peak_ms) {
            peak_ms = reverb;
            peak_at = ms;
        }
        if (ms == 10000.0) {
            EXPECT_EQ(e1, 1.0);
        }
        if (ms > 20040.0 && ms < 30000.0) {
            EXPECT_EQ(e1, 0.0) << ms;  // idle again until p reaches 0.5
        }
        if (ms == 30000.0) {
            EXPECT_EQ(e1, 1.0);  // and restarted at t = 30 s
        }
    }
    EXPECT_NEAR(peak_ms, 3000.0, 0.5);
    EXPECT_NEAR(peak_at - 10000.0, 2929.0, 30.0);
}

// Slot 0 runs 15 s; the frame after its end stops it and the next restarts it.
TEST_F(ShowClockTest, Slot0RestartsAfterItsEnd)
{
    frame_at(0.0);
    EXPECT_DOUBLE_EQ(env_value(0), 1.0);
    frame_at(7500.0);
    EXPECT_DOUBLE_EQ(env_value(0), 0.5);
    EXPECT_NEAR(invert_strength(env_value(0)), 1.0, 1e-12);
    frame_at(15000.0);
    EXPECT_TRUE(envelopes[0].active);
    frame_at(15020.0);  // reads past the end: stopped
    EXPECT_FALSE(envelopes[0].active);
    frame_at(15040.0);  // triggered afresh
    EXPECT_TRUE(envelopes[0].active);
    EXPECT_EQ(envelopes[0].start, 15040.0);
    EXPECT_DOUBLE_EQ(env_value(0), 1.0);
    EXPECT_NEAR(invert_strength(0.0), 0.0, 1e-12);
    EXPECT_NEAR(invert_strength(1.0), 0.0, 1e-12);
}

// A week into the show, 1 ms steps still move the envelopes and the effect
// clocks by 1 ms worth: nothing is quantised to single precision.
TEST_F(ShowClockTest, AWeekInMovesAsSmoothlyAsTheFirstDay)
{
    const double week_ms = 604800.0 * 1000.0;
    frame_at(week_ms);
    double previous = env_value(0);
    for (int k = 1; k <= 50; ++k) {
        frame_at(week_ms + k);
        double e0 = env_value(0);
        EXPECT_NEAR(previous - e0, 1.0 / 15000.0, 1e-9) << k;
        previous = e0;
    }

    // 604800 is a whole number of the ripple's and the kaleidoscope's
    // periods, so a week in they must show what they showed at the start.
    auto a = std::make_unique<RippleLattice>();
    auto b = std::make_unique<RippleLattice>();
    ripple_lattice(0.137, 2.0f, a.get());
    ripple_lattice(604800.137, 2.0f, b.get());
    for (int k = 0; k < ripple_columns; k += 8)
        for (int r = 0; r < ripple_rows; r += 5) {
            EXPECT_NEAR(a->s[k][r], b->s[k][r], 1e-5);
            EXPECT_NEAR(a->t[k][r], b->t[k][r], 1e-5);
        }

    float t0[3][2], t1[3][2];
    kaleidoscope_triangle(0.5 * 0.137, t0);
    kaleidoscope_triangle(0.5 * 604800.137, t1);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(t0[k][0], t1[k][0], 1e-5);
        EXPECT_NEAR(t0[k][1], t1[k][1], 1e-5);
    }
}

TEST(Composer, CameraOrbit)
{
    double eye[3];
    camera_eye(0.0, eye);
    EXPECT_NEAR(eye[0], 0.0, 1e-12);
    EXPECT_NEAR(eye[1], 0.0, 1e-12);
    EXPECT_NEAR(eye[2], 7.5, 1e-12);
    for (double t = 0.0; t < 200.0; t += 0.7) {
        camera_eye(t, eye);
        double r = std::hypot(eye[0], eye[2]);
        EXPECT_GE(r, 6.0 - 1e-9);
        EXPECT_LE(r, 9.0 + 1e-9);
        EXPECT_LE(std::fabs(eye[1]), 3.0 + 1e-9);
    }
}

TEST(Kaleidoscope, HexTables)
{
    const float rim[6][2] = {{0.78f, 0.0f},   {0.39f, 0.6755f},  {-0.39f, 0.6755f},
                             {-0.78f, 0.0f},  {-0.39f, -0.6755f}, {0.39f, -0.6755f}};
    const float ring[6][2] = {{1.17f, -0.6755f}, {1.17f, 0.6755f},   {0.0f, 1.351f},
                              {-1.17f, 0.6755f}, {-1.17f, -0.6755f}, {0.0f, -1.351f}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(hex_rim[k].x, rim[k][0], 1e-4) << k;
        EXPECT_NEAR(hex_rim[k].y, rim[k][1], 1e-4) << k;
        EXPECT_NEAR(hex_ring[k].x, ring[k][0], 1e-4) << k;
        EXPECT_NEAR(hex_ring[k].y, ring[k][1], 1e-4) << k;
        EXPECT_NEAR(std::hypot(hex_ring[k].x, hex_ring[k].y), 1.350999580349353, 1e-6);
    }
    // Seamless tiling: every ring hexagon shares exactly two corners (one
    // edge) with the middle one.
    for (const HexPoint& c : hex_ring) {
        int shared = 0;
        for (const HexPoint& p : hex_rim)
            for (const HexPoint& q : hex_rim)
                if (std::hypot(c.x + p.x - q.x, c.y + p.y - q.y) < 1e-5)
                    ++shared;
        EXPECT_EQ(shared, 2);
    }
}

TEST(Kaleidoscope, TextureTriangle)
{
    float tri[3][2];
    kaleidoscope_triangle(0.0, tri);
    EXPECT_NEAR(tri[0][0], 1.0, 1e-6);
    EXPECT_NEAR(tri[0][1], 0.5, 1e-6);
    EXPECT_NEAR(tri[1][0], 0.25, 1e-6);
    EXPECT_NEAR(tri[1][1], 0.933, 1e-3);
    EXPECT_NEAR(tri[2][0], 0.25, 1e-6);
    EXPECT_NEAR(tri[2][1], 0.067, 1e-3);
    // It turns 15 degrees per unit and stays inside the unit square.
    kaleidoscope_triangle(6.0, tri);
    EXPECT_NEAR(tri[0][0], 0.5, 1e-6);
    EXPECT_NEAR(tri[0][1], 1.0, 1e-6);
    for (double t = 0.0; t < 30.0; t += 0.37) {
        kaleidoscope_triangle(t, tri);
        for (auto& c : tri) {
            EXPECT_GE(c[0], 0.0f);
            EXPECT_LE(c[0], 1.0f);
            EXPECT_GE(c[1], 0.0f);
            EXPECT_LE(c[1], 1.0f);
        }
    }
}

TEST(Ripple, StrengthZeroIsTheIdentity)
{
    auto l = std::make_unique<RippleLattice>();
    ripple_lattice(0.3, 0.0f, l.get());
    for (int k = 0; k < ripple_columns; ++k)
        for (int r = 0; r < ripple_rows; ++r) {
            EXPECT_NEAR(l->s[k][r], k / 80.0, 1e-5) << k << "," << r;
            EXPECT_NEAR(l->t[k][r], r / 50.0, 1e-5) << k << "," << r;
        }
}

TEST(Ripple, CentreStaysAndRingsRepeatEveryHalfUnit)
{
    auto a = std::make_unique<RippleLattice>();
    auto b = std::make_unique<RippleLattice>();
    for (double time : {0.0, 0.21, 7.9}) {
        for (float strength : {0.5f, 3.0f}) {
            ripple_lattice(time, strength, a.get());
            EXPECT_NEAR(a->s[40][25], 0.5, 1e-5);
            EXPECT_NEAR(a->t[40][25], 0.5, 1e-5);
            ripple_lattice(time + 0.5, strength, b.get());
            for (int k = 0; k < ripple_columns; ++k)
                for (int r = 0; r < ripple_rows; ++r) {
                    ASSERT_NEAR(a->s[k][r], b->s[k][r], 1e-5);
                    ASSERT_NEAR(a->t[k][r], b->t[k][r], 1e-5);
                }
        }
    }
    // Half a period later the rings are in opposite phase: the picture differs.
    ripple_lattice(0.1, 2.0f, a.get());
    ripple_lattice(0.35, 2.0f, b.get());
    EXPECT_GT(std::fabs(a->s[10][10] - b->s[10][10]), 1e-3);
}

// Loud bass must not fold the picture over: every point stays on its own side
// of the centre and finite.
TEST(Ripple, StrongBassNeverFolds)
{
    auto l = std::make_unique<RippleLattice>();
    for (float strength : {4.0f, 8.0f, 100.0f}) {
        for (double time : {0.0, 0.1, 0.2, 0.3, 0.4}) {
            ripple_lattice(time, strength, l.get());
            for (int k = 0; k < ripple_columns; ++k)
                for (int r = 0; r < ripple_rows; ++r) {
                    float s = l->s[k][r], t = l->t[k][r];
                    ASSERT_TRUE(std::isfinite(s) && std::isfinite(t));
                    if (k != 40) {
                        ASSERT_EQ(s > 0.5f, k > 40) << k << "," << r << " at " << strength;
                    }
                    if (r != 25) {
                        ASSERT_EQ(t > 0.5f, r > 25) << k << "," << r << " at " << strength;
                    }
                }
        }
    }
}

TEST(BoxField, TablesFromSeed143)
{
    const BoxTables& b = box_tables();
    EXPECT_NEAR(b.pos[0][0], -1.9384, 1e-4);
    EXPECT_NEAR(b.pos[0][1], -1.4330, 1e-4);
    EXPECT_NEAR(b.pos[0][2], 0.4305, 1e-4);
    EXPECT_NEAR(b.scale[0], 0.6740, 1e-4);
    EXPECT_NEAR(b.pos[79][0], -1.8726, 1e-4);
    EXPECT_NEAR(b.pos[79][1], -0.4939, 1e-4);
    EXPECT_NEAR(b.pos[79][2], 1.3834, 1e-4);
    EXPECT_NEAR(b.scale[79], 0.8200, 1e-4);
    float lo = 10.0f, hi = 0.0f;
    for (float s : b.scale) {
        lo = std::min(lo, s);
        hi = std::max(hi, s);
    }
    EXPECT_NEAR(lo, 0.5062, 1e-4);
    EXPECT_NEAR(hi, 2.4618, 1e-4);
}

TEST(BoxField, PosesFollowTheFormulasAfterTheAnglesWrap)
{
    constexpr double pi = std::numbers::pi;
    const BoxTables& b = box_tables();
    // Box 2's angle first passes a whole turn at 98.78 s; a week in every
    // box's angle has gone round thousands of times.
    for (double show_s : {98.78, 160.3, 604800.0 + 98.78, 604799.37}) {
        const double t = 0.2 * show_s;
        for (int i = 0; i < box_count; ++i) {
            const int m = i % 3;
            const double size = 0.125 * std::sin(0.3 * t) + 0.25 * b.scale[i];
            const double a = (0.0125 * i + m) * t * pi / 20.0;
            const double turn = (0.03125 * i + m) * t * 5.0;
            BoxPose p = box_pose(i, t, 1.0);
            EXPECT_NEAR(p.half[0], (std::sin(a) + 1.01) * size, 1e-5) << i << " at " << show_s;
            EXPECT_NEAR(p.half[1], 1.1 * size, 1e-5) << i << " at " << show_s;
            EXPECT_NEAR(p.half[2], (std::cos(0.7 * a) + 1.01) * size, 1e-5) << i << " at " << show_s;
            EXPECT_NEAR(std::remainder(p.turn_degrees - turn, 360.0), 0.0, 1e-3) << i << " at " << show_s;
        }
    }
    // The phase is pi on every call: S(0) = 2 cos(pi/4 + pi).
    EXPECT_NEAR(box_spread(0.0), -std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(box_spread(3.0), 2.0 * std::cos(0.75 + 1.25 * std::numbers::pi), 1e-12);
    // S = 0: every box at the origin.
    double t0 = (std::numbers::pi / 2.0 - 1.25 * std::numbers::pi + 2.0 * std::numbers::pi) / 0.25;
    BoxPose p = box_pose(17, t0, box_spread(t0));
    for (float c : p.translate)
        EXPECT_NEAR(c, 0.0f, 1e-6);
}

TEST(BoxField, FaceVisibility)
{
    // Camera 5 units in front of the box, looking down -z.
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1};
    const float front_n[3] = {0, 0, 1}, front_p[3] = {0, 0, 0.5f};
    const float back_n[3] = {0, 0, -1}, back_p[3] = {0, 0, -0.5f};
    const float right_n[3] = {1, 0, 0}, right_p[3] = {0.5f, 0, 0};
    const float left_n[3] = {-1, 0, 0}, left_p[3] = {-0.5f, 0, 0};
    EXPECT_TRUE(box_face_visible(front_n, front_p, m));
    EXPECT_FALSE(box_face_visible(back_n, back_p, m));
    EXPECT_FALSE(box_face_visible(right_n, right_p, m));
    EXPECT_FALSE(box_face_visible(left_n, left_p, m));
    // Seen exactly edge-on (dot product 0) a face is not drawn.
    const float edge_p[3] = {0, 0, 0};
    EXPECT_FALSE(box_face_visible(right_n, edge_p, m));
    // Moved to the right of the eye, the box shows its left face.
    m[12] = 3.0f;
    EXPECT_TRUE(box_face_visible(left_n, left_p, m));
    EXPECT_FALSE(box_face_visible(right_n, right_p, m));
}

TEST(BoxField, ScreenTexcoordIsTheViewportFraction)
{
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float s = -1, t = -1;
    const float top_left[3] = {-1, 1, 0};
    ASSERT_TRUE(screen_texcoord(top_left, identity, identity, &s, &t));
    EXPECT_NEAR(s, 0.0, 1e-6);
    EXPECT_NEAR(t, 0.0, 1e-6);
    const float p[3] = {0.5f, -0.5f, 0};
    ASSERT_TRUE(screen_texcoord(p, identity, identity, &s, &t));
    EXPECT_NEAR(s, 0.75, 1e-6);
    EXPECT_NEAR(t, 0.75, 1e-6);
    // A projection that puts the point in the plane of the eye (w = 0).
    const double flat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_FALSE(screen_texcoord(p, identity, flat, &s, &t));
}

TEST(Feedback, TextureSizes)
{
    int w = 0, h = 0;
    feedback_texture_size(1024, 768, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 1024);
    feedback_texture_size(640, 480, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 1024);
    feedback_texture_size(480, 360, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 512);
    // Only a side the window does not fit grows, to the next power of two.
    feedback_texture_size(1280, 720, &w, &h);
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 1024);
    feedback_texture_size(1920, 1200, &w, &h);
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 2048);
    feedback_texture_size(320, 600, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 1024);
}

TEST(Feedback, PassesDouble)
{
    FeedbackExtent e = feedback_extent(640, 480, 1024, 1024);
    EXPECT_FLOAT_EQ(e.uf, 0.625f);
    EXPECT_FLOAT_EQ(e.vf, 0.46875f);
    EXPECT_FLOAT_EQ(e.uh, 0.3125f);
    EXPECT_FLOAT_EQ(e.vh, 0.234375f);
    FeedbackPass first = feedback_pass(0, 2.0f, 2.0f, 3.0f, 640);
    FeedbackPass sixth = feedback_pass(5, 2.0f, 2.0f, 3.0f, 640);
    EXPECT_FLOAT_EQ(first.du, 2.0f / 640.0f);
    EXPECT_FLOAT_EQ(first.dv, 2.0f / 640.0f);
    EXPECT_FLOAT_EQ(first.angle, 3.0f);
    EXPECT_FLOAT_EQ(sixth.du, 32.0f * 2.0f / 640.0f);
    EXPECT_FLOAT_EQ(sixth.angle, 96.0f);
    // 1% of the quarter's width per side in the first pass, 32% in the sixth.
    EXPECT_NEAR(first.du / e.uh, 0.01, 1e-6);
    EXPECT_NEAR(sixth.du / e.uh, 0.32, 1e-6);
}

}  // namespace
