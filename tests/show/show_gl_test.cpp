// The feedback zoom read back from a real context. What the modes draw with
// it is the picture test's.

#include "tests/support/gl_test.h"

#include "core/settings.h"
#include "render/gl_state.h"
#include "show/feedback.h"

#include <GL/gl.h>

namespace {

class ShowGl : public GlTest {
protected:
    void open(int w, int h)
    {
        reopen(w, h);
        feedback_forget_textures();
        ASSERT_TRUE(gl_state_init());
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    void TearDown() override
    {
        feedback_forget_textures();
        GlTest::TearDown();
    }
    void clear_to(float v)
    {
        glClearColor(v, v, v, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

// Without passes the zoom keeps white and black and brightens grey 1.25
// times, over the whole window, also one wider than its 1024-texel textures.
// Linear filtering softens the outermost ring of pixels.
TEST_F(ShowGl, FeedbackWithoutPassesBrightensEveryPixelAndLeavesTheStateAsFound)
{
    const struct { int w, h; } windows[] = {{64, 48}, {1280, 32}};
    for (const auto& win : windows) {
        open(win.w, win.h);
        const struct { float level; int want; } cases[] = {{1.0f, 255}, {0.0f, 0}, {100.0f / 255.0f, 125}};
        for (const auto& c : cases) {
            clear_to(c.level);
            feedback_zoom(2.0f, 2.0f, 0.0f, 0.0f, 6, 0.25f);
            std::vector<uint8_t> pic = read_rgb(win.w, win.h);
            for (int y = 1; y < win.h - 1; ++y)
                for (int x = 1; x < win.w - 1; ++x)
                    ASSERT_NEAR(pic[(static_cast<size_t>(y) * win.w + x) * 3], c.want, 3)
                        << win.w << " wide, level " << c.level << " at " << x << "," << y;
        }
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glColor4f(0.5f, 0.25f, 1.0f, 0.75f);
    StackDepths depths = stack_depths();
    feedback_zoom(2.0f, 2.0f, 3.0f, 0.4f, 6, 0.25f);
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_TRUE(stack_depths() == depths);
    EXPECT_TRUE(src == GL_SRC_ALPHA && dst == GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING) && glIsEnabled(GL_TEXTURE_2D) && glIsEnabled(GL_BLEND));
    EXPECT_TRUE(colour[0] == 0.5f && colour[1] == 0.25f && colour[3] == 0.75f);
    // A second call reuses its textures: it creates none.
    GLuint before = 0, after = 0;
    glGenTextures(1, &before);
    feedback_zoom(2.0f, 2.0f, 3.0f, 0.4f, 6, 0.25f);
    glGenTextures(1, &after);
    EXPECT_EQ(after, before + 1);
}

}  // namespace
