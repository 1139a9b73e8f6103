#include "render/overlay.h"
#include "render/texture.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

#include <vector>

namespace {

class TextureTest : public GlTest {};

TEST_F(TextureTest, SettingsAndBinding)
{
    std::vector<unsigned char> px(8 * 8 * 3, 200);
    unsigned int a = texture_create(px.data(), 8, 8, false);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<unsigned int>(bound), a);
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
    EXPECT_EQ(v, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v);
    EXPECT_EQ(v, GL_REPEAT);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &v);
    EXPECT_EQ(v, 8);

    unsigned int b = texture_create(px.data(), 8, 8, false);
    EXPECT_NE(a, b);
}

// Rows of 5 RGB pixels are 15 bytes: with the GL's default alignment of 4 the
// second row would start one byte late.
TEST_F(TextureTest, RowsThatAreNotAMultipleOfFourBytesUploadStraight)
{
    const int w = 5, h = 4;
    std::vector<unsigned char> px(w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &px[(y * w + x) * 3];
            p[0] = static_cast<unsigned char>(y * 60);
            p[1] = static_cast<unsigned char>(x * 50);
            p[2] = 7;
        }
    texture_create(px.data(), w, h, false);
    std::vector<unsigned char> back(w * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ(back, px);

    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4) << "the caller's unpack alignment is restored";
}

}  // namespace
