#include "render/gl_state.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

namespace {

class GlStateTest : public GlTest {};

bool enabled(GLenum cap) { return glIsEnabled(cap) == GL_TRUE; }

TEST_F(GlStateTest, InitSetsTheShowsFixedState)
{
    ASSERT_TRUE(gl_state_init());

    EXPECT_TRUE(enabled(GL_LIGHT0));
    for (GLenum l = GL_LIGHT1; l <= GL_LIGHT7; ++l)
        EXPECT_FALSE(enabled(l)) << "light " << l - GL_LIGHT0;
    EXPECT_FALSE(enabled(GL_LIGHTING));
    EXPECT_FALSE(enabled(GL_FOG));
    EXPECT_FALSE(enabled(GL_TEXTURE_2D));
    for (GLenum cap : {GL_BLEND, GL_DEPTH_TEST, GL_COLOR_MATERIAL, GL_CULL_FACE, GL_NORMALIZE,
                       GL_POINT_SMOOTH, GL_LINE_SMOOTH})
        EXPECT_TRUE(enabled(cap)) << "cap 0x" << std::hex << cap;

    GLint v = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &v);
    EXPECT_EQ(v, GL_BACK);
    glGetIntegerv(GL_DEPTH_FUNC, &v);
    EXPECT_EQ(v, GL_LEQUAL);
    glGetIntegerv(GL_SHADE_MODEL, &v);
    EXPECT_EQ(v, GL_SMOOTH);
    glGetIntegerv(GL_LIGHT_MODEL_TWO_SIDE, &v);
    EXPECT_EQ(v, 1);
    glGetIntegerv(GL_LIGHT_MODEL_LOCAL_VIEWER, &v);
    EXPECT_EQ(v, 1);
    glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &v);
    EXPECT_EQ(v, GL_DIFFUSE);
    glGetIntegerv(GL_FOG_MODE, &v);
    EXPECT_EQ(v, GL_LINEAR);

    float f[4];
    glGetFloatv(GL_FOG_COLOR, f);
    EXPECT_FLOAT_EQ(f[0], 0.25f);
    EXPECT_FLOAT_EQ(f[3], 1.0f);
    glGetFloatv(GL_FOG_START, f);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    glGetFloatv(GL_FOG_END, f);
    EXPECT_FLOAT_EQ(f[0], 6.0f);
    glGetFloatv(GL_FOG_DENSITY, f);
    EXPECT_FLOAT_EQ(f[0], 0.35f);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, f);
    EXPECT_FLOAT_EQ(f[0], 0.25f);
    glGetFloatv(GL_POINT_SIZE, f);
    EXPECT_FLOAT_EQ(f[0], 2.0f);

    glGetLightfv(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, f);
    EXPECT_FLOAT_EQ(f[0], 0.025f);
    glGetLightfv(GL_LIGHT3, GL_AMBIENT, f);
    EXPECT_FLOAT_EQ(f[0], 0.006f);
    glGetLightfv(GL_LIGHT0, GL_POSITION, f);  // eye coordinates: the identity was loaded
    EXPECT_FLOAT_EQ(f[2], 2.0f);
    EXPECT_FLOAT_EQ(f[3], 1.0f);
    glGetMaterialfv(GL_BACK, GL_SHININESS, f);
    EXPECT_FLOAT_EQ(f[0], 80.0f);
}

TEST_F(GlStateTest, BothBuffersAreBlackNotTheGreyClearColour)
{
    glClearColor(1, 0, 0, 1);  // something to overwrite
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(gl_state_init());
    EXPECT_TRUE(near_rgb(pixel_at(0, 0), {0, 0, 0}, 0));
    EXPECT_TRUE(near_rgb(pixel_at(width - 1, height - 1), {0, 0, 0}, 0));
}

TEST_F(GlStateTest, LightsEnableFollowsTheMaskBits)
{
    ASSERT_TRUE(gl_state_init());
    lights_enable(5);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(enabled(GL_LIGHT0 + i), i == 0 || i == 2) << "light " << i;
}

TEST_F(GlStateTest, FogSwitchesAndColour)
{
    ASSERT_TRUE(gl_state_init());
    fog_set_color(0.5f, 0.25f, 0.125f, 1.0f);
    EXPECT_FLOAT_EQ(fog_color[0], 0.5f);
    EXPECT_FLOAT_EQ(fog_color[1], 0.25f);
    EXPECT_FLOAT_EQ(fog_color[2], 0.125f);
    float f[4];
    glGetFloatv(GL_FOG_COLOR, f);
    EXPECT_FLOAT_EQ(f[2], 0.125f);
    fog_set_range(1.0f, 28.0f);
    glGetFloatv(GL_FOG_END, f);
    EXPECT_FLOAT_EQ(f[0], 28.0f);
    fog_enable();
    EXPECT_TRUE(enabled(GL_FOG));
    fog_disable();
    EXPECT_FALSE(enabled(GL_FOG));
}

}  // namespace
