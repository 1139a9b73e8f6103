// The drawing helpers in a real GL context, read back pixel by pixel.

#include "render/gl_state.h"
#include "render/overlay.h"
#include "render/texture.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

namespace {

// Left half red, right half green; top half bright, bottom half dark, so
// every flip shows.
Rgb quadrants(int x, int y) { return x < 4 ? Rgb{y < 4 ? 255 : 64, 0, 0} : Rgb{0, y < 4 ? 255 : 64, 0}; }

class Render : public GlTest {};

// The set-up clears to black. Upright, texel row 0 is at the top of a
// textured quad; flipped, at the bottom; drawn despite back-face culling and
// with the state left as found.
TEST_F(Render, TexturedQuadBothWaysUp)
{
    glClearColor(1, 1, 1, 1);  // something for the set-up to overwrite
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(gl_state_init());
    EXPECT_TRUE(near_rgb(pixel_at(0, 0), {0, 0, 0}, 0) && near_rgb(pixel_at(width - 1, height - 1), {0, 0, 0}, 0));
    make_texture(8, 8, quadrants);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    for (const auto& [t_top, t_bottom, top, bottom] : {std::tuple{1.0f, 0.0f, 255, 64}, {0.0f, 1.0f, 64, 255}}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const StackDepths before = stack_depths();
        textured_quad(0, t_top, 1, t_bottom);
        EXPECT_TRUE(stack_depths() == before && glIsEnabled(GL_LIGHTING) && !glIsEnabled(GL_TEXTURE_2D));
        EXPECT_TRUE(near_rgb(pixel_at(5, 5), {top, 0, 0}, 8) && near_rgb(pixel_at(width - 5, 5), {0, top, 0}, 8));
        EXPECT_TRUE(near_rgb(pixel_at(5, height - 5), {bottom, 0, 0}, 8) &&
                    near_rgb(pixel_at(width - 5, height - 5), {0, bottom, 0}, 8));
    }
}

// Rows of 5 RGB pixels are 15 bytes: with GL's default alignment of 4 the
// second row would start one byte late. The caller's alignment is restored.
TEST_F(Render, TextureRowsOfAnyLengthUploadStraight)
{
    std::vector<unsigned char> px(5 * 4 * 3), back(px.size());
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<unsigned char>(i * 7);
    texture_create(px.data(), 5, 4, false);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_TRUE(back == px && alignment == 4);
}

}  // namespace
