// The window's frames read back a frame late for the live outputs.

#include "render/frame_readback.h"
#include "core/settings.h"
#include "tests/support/gl_test.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

using FrameReadback = GlTest;

// The whole frame in one colour but its `top_rows`, white.
void fill(float r, float g, float b, int top_rows)
{
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, screen_height - top_rows, screen_width, top_rows);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// A red frame with a white top row, read after the next (blue) one is drawn:
// as glReadPixels gives it, bottom row first, once; a frame started over an
// untaken one replaces it. The read and pack state is left as found.
TEST_F(FrameReadback, TakesTheFrameStartedLastOnceAsGlGivesIt)
{
    std::vector<unsigned char> px(width * height * 3, 7);
    frame_readback_open(width, height);
    EXPECT_FALSE(frame_readback_take(px.data())) << "nothing started";
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    glReadBuffer(GL_NONE);
    fill(0.0f, 1.0f, 0.0f, 0);
    frame_readback_start();
    fill(1.0f, 0.0f, 0.0f, 1);
    frame_readback_start();
    fill(0.0f, 0.0f, 1.0f, 2);
    ASSERT_TRUE(frame_readback_take(px.data()));
    EXPECT_FALSE(frame_readback_take(px.data())) << "taken once";
    for (int y = 0; y < height; ++y)
        for (int x : {0, width - 1}) {
            const unsigned char* p = &px[(static_cast<size_t>(y) * width + x) * 3];
            const int white = y == height - 1 ? 255 : 0;  // the top row, last
            EXPECT_TRUE(p[0] == 255 && p[1] == white && p[2] == white) << x << ", " << y << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
        }
    GLint pack = 0, bound = -1, read = -1;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    glGetIntegerv(GL_READ_BUFFER, &read);
    EXPECT_TRUE(pack == 8 && bound == 0 && read == GL_NONE && glGetError() == GL_NO_ERROR) << pack << " " << bound;
}

}  // namespace
