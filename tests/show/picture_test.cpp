// Whole frames of the show as a viewer sees them: each mode at chosen show
// times, with the camera's test pattern and a fixed bass, read back from
// llvmpipe and compared block by block with expect/frames.ppm. The blocks are
// means of 8 x 8 pixels, so GL rounding stays well inside the tolerance while
// a moved box, a changed colour or a missing layer does not.
// GLOWCAM_UPDATE_EXPECT=1 rewrites the file from what this build draws.

#include "tests/support/gl_test.h"

#include "audio/audio.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "core/envelope.h"
#include "core/settings.h"
#include "render/gl_state.h"
#include "show/composer.h"
#include "show/feedback.h"

#include <GL/gl.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A 16:9 window, so the 4:3 pattern is also cut to shape.
constexpr int win_w = 128, win_h = 72, block = 8;
constexpr int cols = win_w / block, rows = win_h / block;
// Box field (refreshed, then carried with its old picture, then after the
// angles wrap at 98.78 s), kaleidoscope, ripple.
const double show_times[] = {5.0, 13.0, 98.78, 30.5, 44.0, 55.0, 68.0};
constexpr int frames = sizeof show_times / sizeof show_times[0];
const std::string expect_path = GLOWCAM_SOURCE_DIR "/tests/show/expect/frames.ppm";

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
    // through their runs and the box field has a picture of its own.
    std::vector<int> frame_at(double t)
    {
        env_reset_all();
        for (double s : {t - 4.0, t}) {
            show_clock_set_manual(s * 1000.0);
            EXPECT_TRUE(capture_render_frame(s * 1000.0));
            StackDepths depths = stack_depths();
            compose_frame();
            // The frame leaves the composer's resting state behind it.
            GLint mode = 0, src = 0, dst = 0;
            glGetIntegerv(GL_MATRIX_MODE, &mode);
            glGetIntegerv(GL_BLEND_SRC, &src);
            glGetIntegerv(GL_BLEND_DST, &dst);
            EXPECT_TRUE(stack_depths() == depths && mode == GL_MODELVIEW && src == GL_SRC_ALPHA &&
                        dst == GL_ONE_MINUS_SRC_ALPHA) << s;
            EXPECT_TRUE(glIsEnabled(GL_BLEND) && glIsEnabled(GL_LIGHTING) && glIsEnabled(GL_TEXTURE_2D) &&
                        glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_FOG)) << s;
        }
        std::vector<uint8_t> raw = read_rgb(win_w, win_h);
        std::vector<int> means(cols * rows * 3, 0);
        for (int y = 0; y < win_h; ++y)
            for (int x = 0; x < win_w; ++x)
                for (int c = 0; c < 3; ++c)
                    means[((win_h - 1 - y) / block * cols + x / block) * 3 + c] +=
                        raw[(static_cast<size_t>(y) * win_w + x) * 3 + c];
        for (int& m : means)
            m = (m + block * block / 2) / (block * block);
        return means;
    }
};

TEST_F(Picture, EveryModeMatchesItsExpectedFrames)
{
    reopen(win_w, win_h);
    ASSERT_TRUE(gl_state_init());
    capture_select_source("test");
    ASSERT_TRUE(capture_connect(0));
    show_clock_use_manual(0.0);
    spectrum[1] = 0.3f;

    std::vector<int> got;
    for (double t : show_times) {
        std::vector<int> f = frame_at(t);
        got.insert(got.end(), f.begin(), f.end());
    }
    spectrum[1] = 0.0f;

    if (std::getenv("GLOWCAM_UPDATE_EXPECT")) {
        std::ofstream out(expect_path);
        out << "P3\n" << cols << " " << rows * frames << "\n255\n";
        for (size_t i = 0; i < got.size(); ++i)
            out << got[i] << ((i + 1) % (cols * 3) ? " " : "\n");
        GTEST_SKIP() << "rewrote " << expect_path;
    }
    std::ifstream in(expect_path);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    ASSERT_TRUE(magic == "P3" && w == cols && h == rows * frames) << expect_path;
    std::vector<int> want(got.size());
    for (int& v : want)
        in >> v;
    ASSERT_TRUE(in) << expect_path << " is short";

    // One block may change by an edge's worth; a frame as a whole hardly at all.
    for (int f = 0; f < frames; ++f) {
        long total = 0;
        for (int b = 0; b < cols * rows; ++b)
            for (int c = 0; c < 3; ++c) {
                size_t i = (static_cast<size_t>(f) * cols * rows + b) * 3 + c;
                total += std::abs(got[i] - want[i]);
                EXPECT_LE(std::abs(got[i] - want[i]), 24)
                    << "t " << show_times[f] << " s, block " << b % cols << "," << b / cols;
            }
        EXPECT_LE(total, cols * rows * 3 * 2) << "t " << show_times[f] << " s";
    }
}

}  // namespace
