// Whole frames of each mode (test pattern, fixed bass) read back and compared
// with the frames in expect/frames.png as means of 8 x 8 blocks: GL rounding
// stays inside the tolerance, a moved box or a changed colour does not.
// GLOWCAM_UPDATE_EXPECT=1 rewrites the file from what this build draws.

#include "tests/support/frames.h"
#include "tests/support/gl_test.h"

#include "audio/audio.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "core/envelope.h"
#include "render/gl_state.h"
#include "render/png_write.h"
#include "show/box_field.h"
#include "show/composer.h"
#include "show/feedback.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A 16:9 window, so the 4:3 pattern is also cut to shape.
constexpr int win_w = 128, win_h = 72, block = 8;
constexpr int cols = win_w / block, rows = win_h / block;
// Box field (refreshed, then carried with its old picture, then after the
// angles wrap at 98.78 s), kaleidoscope, ripple.
const double show_times[] = {5.0, 13.0, 98.78, 30.5, 44.0, 55.0, 68.3};
constexpr int frames = sizeof show_times / sizeof show_times[0];
const std::string expect_path = GLOWCAM_SOURCE_DIR "/tests/show/expect/frames.png";

class Picture : public GlTest {
protected:
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        feedback_forget_textures();
        show_clock_set_source(nullptr);
        GlTest::TearDown();
    }

    // Frames 4 s apart lead up to each time, so the envelopes are part-way
    // through their runs and the box field has a picture of its own. The
    // frame is added to *pictures top row first.
    void frame_at(double t, std::vector<uint8_t>* pictures)
    {
        env_reset_all();
        for (double s : {t - 4.0, t}) {
            show_clock_set_manual(s * 1000.0);
            EXPECT_TRUE(capture_render_frame(s * 1000.0));
            StackDepths depths = stack_depths();
            compose_frame();
            // The frame leaves the composer's resting state behind it.
            auto get = [](GLenum name) { GLint v = 0; glGetIntegerv(name, &v); return v; };
            EXPECT_TRUE(stack_depths() == depths && get(GL_MATRIX_MODE) == GL_MODELVIEW &&
                        get(GL_BLEND_SRC) == GL_SRC_ALPHA && get(GL_BLEND_DST) == GL_ONE_MINUS_SRC_ALPHA &&
                        glIsEnabled(GL_BLEND) && glIsEnabled(GL_LIGHTING) && glIsEnabled(GL_TEXTURE_2D) &&
                        glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_FOG)) << s;
        }
        std::vector<uint8_t> raw = read_rgb(win_w, win_h);
        for (int y = win_h - 1; y >= 0; --y)
            pictures->insert(pictures->end(), raw.begin() + y * win_w * 3, raw.begin() + (y + 1) * win_w * 3);
    }
};

// Per channel, the rounded means of 8 x 8 blocks of frames stacked top first.
std::vector<int> block_means(const std::vector<uint8_t>& pictures)
{
    std::vector<int> means(pictures.size() / (block * block), 0);
    for (size_t i = 0; i < pictures.size(); ++i)
        means[(i / 3 / win_w / block * cols + i / 3 % win_w / block) * 3 + i % 3] += pictures[i];
    for (int& m : means)
        m = (m + block * block / 2) / (block * block);
    return means;
}

TEST_F(Picture, EveryModeMatchesItsExpectedFrames)
{
    reopen(win_w, win_h);
    ASSERT_TRUE(gl_state_init());
    capture_select_source("test");
    ASSERT_TRUE(capture_connect(0));
    show_clock_use_manual(0.0);
    spectrum[1] = 0.3f;
    std::vector<uint8_t> pictures;
    for (double t : show_times)
        frame_at(t, &pictures);
    spectrum[1] = 0.0f;

    std::string error;
    if (std::getenv("GLOWCAM_UPDATE_EXPECT")) {
        ASSERT_TRUE(png_write_rgb(expect_path, pictures.data(), win_w, win_h * frames, false, &error)) << error;
        GTEST_SKIP() << "rewrote " << expect_path;
    }
    std::vector<uint8_t> expected = read_png(expect_path);
    ASSERT_EQ(expected.size(), pictures.size()) << expect_path;
    const std::vector<int> got = block_means(pictures), want = block_means(expected);
    // One block may change by an edge's worth; a frame as a whole hardly at all.
    std::vector<int> total(frames, 0);
    for (size_t i = 0; i < got.size(); ++i) {
        const int f = i / (cols * rows * 3), b = i / 3 % (cols * rows), d = std::abs(got[i] - want[i]);
        total[f] += d;
        EXPECT_LE(d, 24) << "t " << show_times[f] << " s, block " << b % cols << "," << b / cols;
    }
    for (int f = 0; f < frames; ++f)
        EXPECT_LE(total[f], cols * rows * 3 / 2) << "t " << show_times[f] << " s, mean over half a level";
}

// However thin the box, a face turned to the eye is drawn: seen from off each
// axis, the ray through the middle of the window meets the face nearest it.
TEST_F(Picture, BoxFacesTurnedToTheEyeAreDrawn)
{
    const double eyes[6][3] = {{2, .4, .3}, {-2, .4, .3}, {.3, 2, .4}, {.3, -2, .4}, {.4, .3, 2}, {.4, .3, -2}};
    double projection[16];  // the window's own
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (const auto& e : eyes) {
        glClear(GL_COLOR_BUFFER_BIT);
        glLoadIdentity();
        gluLookAt(e[0], e[1], e[2], 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
        box_draw(0.2f, 0.3f, 0.4f, 0, false, projection);
        EXPECT_TRUE(near_rgb(pixel_at(width / 2, height / 2), {255, 255, 255}, 0)) << e[0] << " " << e[1] << " " << e[2];
    }
}

// Without passes the zoom keeps white and black and brightens grey 1.25
// times, over the whole window, also one wider than its 1024-texel textures.
// Linear filtering softens the outermost ring of pixels.
TEST_F(Picture, FeedbackWithoutPassesBrightensEveryPixel)
{
    for (const auto& [w, h] : {std::pair{64, 48}, {1280, 32}}) {
        reopen(w, h);
        feedback_forget_textures();
        ASSERT_TRUE(gl_state_init());
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        const struct { float level; int want; } cases[] = {{1.0f, 255}, {0.0f, 0}, {100.0f / 255.0f, 125}};
        for (const auto& c : cases) {
            glClearColor(c.level, c.level, c.level, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            feedback_zoom(2.0f, 2.0f, 0.0f, 0.0f, 6, 0.25f);
            std::vector<uint8_t> pic = read_rgb(w, h);
            for (int y = 1; y < h - 1; ++y)
                for (int x = 1; x < w - 1; ++x)
                    ASSERT_NEAR(pic[(static_cast<size_t>(y) * w + x) * 3], c.want, 3)
                        << w << " wide, level " << c.level << " at " << x << "," << y;
        }
    }
    // The textures are made once and reused every frame.
    GLuint before = 0, after = 0;
    glGenTextures(1, &before);
    feedback_zoom(2.0f, 2.0f, 3.0f, 0.4f, 6, 0.25f);
    glGenTextures(1, &after);
    EXPECT_EQ(after, before + 1);
}

}  // namespace
