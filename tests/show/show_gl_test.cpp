// The effects and the feedback zoom drawn in a real GL context (llvmpipe on
// SDL's offscreen driver), checked by reading the picture back.

#include "tests/support/gl_test.h"

#include "core/clock.h"
#include "core/envelope.h"
#include "core/settings.h"
#include "platform/window.h"
#include "render/gl_state.h"
#include "render/overlay.h"
#include "show/box_field.h"
#include "show/composer.h"
#include "show/feedback.h"
#include "show/kaleidoscope.h"
#include "show/ripple.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The GL state the composer leaves in force around the layers.
class ShowGlTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        feedback_forget_textures();
        ASSERT_TRUE(gl_state_init());
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1, 1, 1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void TearDown() override
    {
        feedback_forget_textures();
        GlTest::TearDown();
    }

    void clear_to(float r, float g, float b)
    {
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // The picture, top row first, as a person sees it.
    std::vector<Rgb> picture()
    {
        std::vector<uint8_t> raw = read_rgb(screen_width, screen_height);
        std::vector<Rgb> out(raw.size() / 3);
        for (int y = 0; y < screen_height; ++y)
            for (int x = 0; x < screen_width; ++x) {
                const uint8_t* p = &raw[(static_cast<size_t>(screen_height - 1 - y) * screen_width + x) * 3];
                out[static_cast<size_t>(y) * screen_width + x] = {p[0], p[1], p[2]};
            }
        return out;
    }
};

// The GL state that effects promise to leave as found.
struct GlSnapshot {
    StackDepths depths;
    GLint blend_src, blend_dst, matrix_mode, texture;
    GLboolean blend, lighting, depth, cull, texture_2d;
    GLfloat colour[4];

    static GlSnapshot take()
    {
        GlSnapshot s{};
        s.depths = stack_depths();
        glGetIntegerv(GL_BLEND_SRC, &s.blend_src);
        glGetIntegerv(GL_BLEND_DST, &s.blend_dst);
        glGetIntegerv(GL_MATRIX_MODE, &s.matrix_mode);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
        s.blend = glIsEnabled(GL_BLEND);
        s.lighting = glIsEnabled(GL_LIGHTING);
        s.depth = glIsEnabled(GL_DEPTH_TEST);
        s.cull = glIsEnabled(GL_CULL_FACE);
        s.texture_2d = glIsEnabled(GL_TEXTURE_2D);
        glGetFloatv(GL_CURRENT_COLOR, s.colour);
        return s;
    }
    void expect_same_as(const GlSnapshot& o) const
    {
        EXPECT_TRUE(depths == o.depths);
        EXPECT_EQ(blend_src, o.blend_src);
        EXPECT_EQ(blend_dst, o.blend_dst);
        EXPECT_EQ(matrix_mode, o.matrix_mode);
        EXPECT_EQ(texture, o.texture);
        EXPECT_EQ(blend, o.blend);
        EXPECT_EQ(lighting, o.lighting);
        EXPECT_EQ(depth, o.depth);
        EXPECT_EQ(cull, o.cull);
        EXPECT_EQ(texture_2d, o.texture_2d);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(colour[k], o.colour[k]);
    }
};

Rgb gradient(int x, int y) { return {40 + x * 3, 40 + y * 3, 200 - x - y}; }
Rgb solid(int, int) { return {200, 60, 120}; }

TEST_F(ShowGlTest, FeedbackWithoutPassesKeepsWhiteAndBlackAndBrightensGrey)
{
    struct Case {
        float level;
        int want;
    } cases[] = {{1.0f, 255}, {0.0f, 0}, {100.0f / 255.0f, 125}};
    for (const Case& c : cases) {
        clear_to(c.level, c.level, c.level);
        feedback_zoom(2.0f, 2.0f, 0.0f, 0.0f, 6, 0.25f);
        std::vector<Rgb> pic = picture();
        // Linear filtering softens the outermost ring of pixels, where the
        // enlarged quarter meets texels outside it; everything inside is
        // 1.25 x the frame.
        for (int y = 1; y < height - 1; ++y)
            for (int x = 1; x < width - 1; ++x)
                ASSERT_TRUE(near_rgb(pic[y * width + x], {c.want, c.want, c.want}, 3))
                    << "level " << c.level << " at " << x << "," << y;
    }
}

// The pull-ins are fractions of a 1024-texel texture scaled for the dialog's
// window sizes: at 640 x 480 the first pass pulls in 1% of the quarter.
TEST_F(ShowGlTest, FeedbackPassesSmearLightOutward)
{
    reopen(640, 480);
    ASSERT_TRUE(gl_state_init());
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    auto lit_pixels = [&](float pass_alpha) {
        clear_to(0, 0, 0);
        // A small white square in the middle of the screen.
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_CULL_FACE);
        ortho_begin(0, 0, 1, 1);
        glColor4f(1, 1, 1, 1);
        glRectf(0.45f, 0.45f, 0.55f, 0.55f);
        ortho_end();
        feedback_zoom(2.0f, 2.0f, 0.0f, pass_alpha, 6, 0.25f);
        int lit = 0;
        for (const Rgb& p : picture())
            lit += p.r > 20;
        return lit;
    };
    int still = lit_pixels(0.0f);
    int smeared = lit_pixels(0.6f);
    EXPECT_GT(still, 0);
    EXPECT_GT(smeared, still * 3 / 2) << "still " << still << ", smeared " << smeared;
}

TEST_F(ShowGlTest, FeedbackLeavesStateAsFound)
{
    GLuint tex = make_texture(16, 16, solid);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    glColor4f(0.5f, 0.25f, 1.0f, 0.75f);
    GlSnapshot before = GlSnapshot::take();
    feedback_zoom(2.0f, 2.0f, 3.0f, 0.4f, 6, 0.25f);
    GlSnapshot::take().expect_same_as(before);
    // The second call reuses its textures: it creates none.
    GLuint probe = 0;
    feedback_zoom(2.0f, 2.0f, 3.0f, 0.4f, 6, 0.25f);
    glGenTextures(1, &probe);
    EXPECT_LE(probe, tex + 3);
}

// A window wider than 1024: the right part of the frame must come from this
// frame, not from stale texels.
TEST_F(ShowGlTest, FeedbackCoversWindowsWiderThanItsTextures)
{
    reopen(1280, 64);
    ASSERT_TRUE(gl_state_init());
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (float level : {1.0f, 0.0f}) {
        clear_to(level, level, level);
        feedback_zoom(2.0f, 2.0f, 0.0f, 0.0f, 6, 0.25f);
        int want = level > 0.5f ? 255 : 0;
        EXPECT_TRUE(near_rgb(pixel_at(1200, 30), {want, want, want}, 3)) << level;
        EXPECT_TRUE(near_rgb(pixel_at(100, 30), {want, want, want}, 3)) << level;
    }
}

TEST_F(ShowGlTest, KaleidoscopeOfSolidTextureFillsAllButTheCorners)
{
    GLuint tex = make_texture(16, 16, solid);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    glDisable(GL_LIGHTING);
    // The cluster's outline comes nearest the centre (1.56) at six notches;
    // turned by 23.13 or 36.87 degrees (t = 3.855, 6.145) a notch points at a
    // corner of the 4:3 screen (1.667 away), which stays uncovered.
    for (double t : {0.0, 3.855, 6.145}) {
        clear_to(1, 1, 1);
        GlSnapshot before = GlSnapshot::take();
        kaleidoscope(t);
        GlSnapshot::take().expect_same_as(before);

        std::vector<Rgb> pic = picture();
        int coloured = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                Rgb p = pic[y * width + x];
                bool is_colour = near_rgb(p, {200, 60, 120}, 3);
                bool is_white = near_rgb(p, {255, 255, 255}, 3);
                coloured += is_colour;
                // Within 1.5 of the centre (the cluster reaches at least
                // 1.56) every pixel is covered.
                double ox = (x + 0.5 - width / 2.0) / (height / 2.0);
                double oy = (y + 0.5 - height / 2.0) / (height / 2.0);
                if (std::hypot(ox, oy) < 1.5)
                    ASSERT_TRUE(is_colour) << x << "," << y << " at t " << t;
                else
                    ASSERT_TRUE(is_colour || is_white) << x << "," << y << " at t " << t;
            }
        EXPECT_GT(coloured, width * height * 9 / 10);
        if (t > 0.0) {
            EXPECT_LT(coloured, width * height) << "a notch points at a corner at t " << t;
        }
    }
}

TEST_F(ShowGlTest, RippleAtStrengthZeroIsAPlainQuad)
{
    GLuint tex = make_texture(64, 64, gradient);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    clear_to(0, 0, 0);
    textured_quad(0, 1, 1, 0);
    std::vector<Rgb> plain = picture();

    clear_to(0, 0, 0);
    GlSnapshot before = GlSnapshot::take();
    ripple_warp(0.3, 0.0f);
    GlSnapshot::take().expect_same_as(before);
    std::vector<Rgb> warped = picture();
    for (size_t i = 0; i < plain.size(); ++i)
        ASSERT_TRUE(near_rgb(warped[i], plain[i], 2)) << "pixel " << i;

    // With bass the picture ripples, but its centre stays put.
    clear_to(0, 0, 0);
    ripple_warp(0.3, 2.0f);
    std::vector<Rgb> rippled = picture();
    int moved = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        moved += !near_rgb(rippled[i], plain[i], 6);
    EXPECT_GT(moved, static_cast<int>(plain.size()) / 10);
    size_t centre = static_cast<size_t>(height / 2) * width + width / 2;
    EXPECT_TRUE(near_rgb(rippled[centre], plain[centre], 6));
}

// The composer's mode-0 view of the box field, unlit and without fog so
// colours can be compared with the texture directly.
class BoxFieldGlTest : public ShowGlTest {
protected:
    void SetUp() override
    {
        ShowGlTest::SetUp();
        tex = make_texture(64, 64, gradient);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, tex);
        glDisable(GL_LIGHTING);
        glDisable(GL_FOG);
        glEnable(GL_DEPTH_TEST);
        backdrop = draw_backdrop();
    }
    std::vector<Rgb> draw_backdrop()
    {
        clear_to(0, 0, 0);
        textured_quad(0, 1, 1, 0);
        return picture();
    }
    void look(double t)
    {
        glLoadIdentity();
        double eye[3];
        camera_eye(t, eye);
        gluLookAt(eye[0], eye[1], eye[2], 0, 0, 0, 0, 1, 0);
    }
    // Pixels the boxes cover, and how many of them match the backdrop.
    void coverage(double field_t, bool refresh, int* covered, int* matching)
    {
        clear_to(0, 0, 0);
        look(field_t * 5.0);
        box_field(field_t, refresh);
        std::vector<Rgb> pic = picture();
        *covered = *matching = 0;
        for (size_t i = 0; i < pic.size(); ++i) {
            if (pic[i].r == 0 && pic[i].g == 0 && pic[i].b == 0)
                continue;
            ++*covered;
            *matching += near_rgb(pic[i], backdrop[i], 12);
        }
    }
    GLuint tex = 0;
    std::vector<Rgb> backdrop;
};

TEST_F(BoxFieldGlTest, RefreshedBoxesAreCutOutOfTheTexture)
{
    int covered = 0, matching = 0;
    GlSnapshot before = GlSnapshot::take();
    coverage(2.0, true, &covered, &matching);
    GlSnapshot after = GlSnapshot::take();
    EXPECT_TRUE(after.depths == before.depths);
    EXPECT_FALSE(after.cull) << "the field does its own culling";

    EXPECT_GT(covered, width * height / 10);
    EXPECT_GE(matching, covered * 97 / 100) << covered << " covered";
}

TEST_F(BoxFieldGlTest, WithoutRefreshFacesKeepTheirCoordinates)
{
    auto cache = [] {
        std::vector<float> c;
        for (int f = 0; f < 6; ++f)
            for (int b = 0; b < box_count; ++b)
                for (int p = 0; p < box_grid_points; ++p) {
                    float s, t;
                    box_texcoord(f, b, p, &s, &t);
                    c.insert(c.end(), {s, t});
                }
        return c;
    };
    int covered = 0, matching = 0;
    coverage(2.0, true, &covered, &matching);
    std::vector<float> refreshed = cache();

    // Later, with refresh clear: the field has moved, the coordinates not.
    coverage(3.5, false, &covered, &matching);
    EXPECT_TRUE(cache() == refreshed);
    // The picture stuck to the boxes no longer lines up with the backdrop.
    EXPECT_LT(matching, covered * 3 / 4);

    // So each box shows its own picture, and where boxes tie in depth (here
    // everywhere) the later one shows: the field draws box 0 to box 79.
    glDepthRange(0.0, 0.0);
    coverage(3.5, false, &covered, &matching);
    std::vector<Rgb> field = picture();
    clear_to(0, 0, 0);
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (int i = 0; i < box_count; ++i) {
        BoxPose p = box_pose(i, 3.5, box_spread(3.5));
        glPushMatrix();
        glTranslatef(p.translate[0], p.translate[1], p.translate[2]);
        glRotatef(p.turn_degrees, 0.0f, 1.0f, 0.0f);
        box_draw(p.half[0], p.half[1], p.half[2], i, false, projection);
        glPopMatrix();
    }
    std::vector<Rgb> in_order = picture();
    glDepthRange(0.0, 1.0);
    for (size_t i = 0; i < field.size(); ++i)
        ASSERT_TRUE(near_rgb(field[i], in_order[i], 0)) << "pixel " << i;
}

// Whole frames with no video (texture 0: the layers come out plain white) and
// no sound: each mode leaves the composer's resting state behind it.
TEST_F(ShowGlTest, ComposerLeavesItsRestingState)
{
    env_reset_all();
    show_clock_use_manual(0.0);
    StackDepths depths = stack_depths();
    for (double ms : {1000.0, 26000.0, 51000.0, 76000.0}) {
        show_clock_set_manual(ms);
        compose_frame();
        EXPECT_EQ(frame_mode, static_cast<int>(ms / 25000.0) % 3);
        EXPECT_TRUE(stack_depths() == depths) << ms;
        GLint mode = 0, src = 0, dst = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        EXPECT_EQ(mode, GL_MODELVIEW);
        EXPECT_EQ(src, GL_SRC_ALPHA);
        EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
        EXPECT_TRUE(glIsEnabled(GL_BLEND) && glIsEnabled(GL_LIGHTING) &&
                    glIsEnabled(GL_TEXTURE_2D) && glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_FOG));
    }
    // Mode 1 with no video: a white kaleidoscope on white, glowing white.
    show_clock_set_manual(30000.0);
    compose_frame();
    std::vector<Rgb> pic = picture();
    for (int y = 1; y < height - 1; ++y)
        for (int x = 1; x < width - 1; ++x)
            ASSERT_TRUE(near_rgb(pic[y * width + x], {255, 255, 255}, 2)) << x << "," << y;
    show_clock_set_source(nullptr);
}

}  // namespace
