#include "platform/window.h"
#include "render/gl_state.h"
#include "render/overlay.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

namespace {

class OverlayTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        ASSERT_TRUE(gl_state_init());
    }
    void fill(float v)
    {
        glClearColor(v, v, v, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

// Left half red, right half green; top half (texture rows 0..3) bright,
// bottom half dark, so every flip shows.
Rgb quadrants(int x, int y)
{
    int level = y < 4 ? 255 : 64;
    return x < 4 ? Rgb{level, 0, 0} : Rgb{0, level, 0};
}

TEST_F(OverlayTest, TexturedQuadUprightPutsTexelZeroTopLeft)
{
    make_texture(8, 8, quadrants);
    fill(0.0f);
    glColor4f(1, 1, 1, 1);
    textured_quad(0, 1, 1, 0);
    EXPECT_TRUE(near_rgb(pixel_at(5, 5), {255, 0, 0}, 8));                    // top left
    EXPECT_TRUE(near_rgb(pixel_at(width - 5, 5), {0, 255, 0}, 8));            // top right
    EXPECT_TRUE(near_rgb(pixel_at(5, height - 5), {64, 0, 0}, 8));            // bottom left
    EXPECT_TRUE(near_rgb(pixel_at(width - 5, height - 5), {0, 64, 0}, 8));    // bottom right
}

TEST_F(OverlayTest, TexturedQuadFlippedPutsTexelZeroBottomLeft)
{
    make_texture(8, 8, quadrants);
    fill(0.0f);
    glColor4f(1, 1, 1, 1);
    textured_quad(0, 0, 1, 1);
    EXPECT_TRUE(near_rgb(pixel_at(5, 5), {64, 0, 0}, 8));
    EXPECT_TRUE(near_rgb(pixel_at(5, height - 5), {255, 0, 0}, 8));
    EXPECT_TRUE(near_rgb(pixel_at(width - 5, height - 5), {0, 255, 0}, 8));
}

TEST_F(OverlayTest, TexturedQuadSurvivesCullingAndRestoresState)
{
    make_texture(8, 8, quadrants);
    fill(0.0f);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    StackDepths before = stack_depths();
    textured_quad(0, 1, 1, 0);
    EXPECT_EQ(stack_depths(), before);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(near_rgb(pixel_at(5, 5), {255, 0, 0}, 8)) << "drawn despite back-face culling";
}

TEST_F(OverlayTest, InvertOverlayStrengths)
{
    struct Case {
        float background, strength;
        int want;
    } cases[] = {
        {1.0f, 1.0f, 0},    {0.0f, 1.0f, 255}, {1.0f, 0.5f, 128}, {0.0f, 0.5f, 128},
        {1.0f, 0.0f, 255},  {0.0f, 0.0f, 0},   {1.0f, -1.0f, 255},
    };
    for (const Case& c : cases) {
        fill(c.background);
        StackDepths before = stack_depths();
        invert_overlay(c.strength);
        EXPECT_EQ(stack_depths(), before);
        EXPECT_TRUE(near_rgb(pixel_at(width / 2, height / 2), {c.want, c.want, c.want}, 2))
            << "background " << c.background << " strength " << c.strength;
        EXPECT_TRUE(near_rgb(pixel_at(0, 0), {c.want, c.want, c.want}, 2));
    }
    GLint src = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    EXPECT_NE(src, GL_ONE_MINUS_DST_COLOR) << "blend function restored";
}

TEST_F(OverlayTest, OrthoFrameCornersAndNesting)
{
    fill(0.0f);
    StackDepths before = stack_depths();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    ortho_begin(0, 0, 1, 1);
    ortho_begin(0, 0, 1, 1);  // the feedback zoom nests two frames
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);  // the top-left quarter
    glVertex2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.5f);
    glVertex2f(0.5f, 0.5f);
    glVertex2f(0.5f, 0.0f);
    glEnd();
    ortho_end();
    ortho_end();
    EXPECT_EQ(stack_depths(), before);
    EXPECT_TRUE(near_rgb(pixel_at(1, 1), {255, 255, 255}, 0));
    EXPECT_TRUE(near_rgb(pixel_at(width / 2 + 1, 1), {0, 0, 0}, 0));
    EXPECT_TRUE(near_rgb(pixel_at(1, height / 2 + 1), {0, 0, 0}, 0));
}

}  // namespace
