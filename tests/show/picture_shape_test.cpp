// A picture whose shape differs from the window's is cut around its centre,
// never squeezed: a disc stays round, whichever way the shapes differ.

#include "tests/support/gl_test.h"

#include "core/clock.h"
#include "core/settings.h"
#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "platform/message_box.h"
#include "render/gl_state.h"
#include "show/composer.h"
#include "show/feedback.h"

#include <vector>

namespace {

int disc_w = 0, disc_h = 0;
std::vector<unsigned char> disc_i420;

// A white disc of radius 0.35 x height in the middle of a black frame.
bool disc_open(const std::string&, int* w, int* h)
{
    disc_i420.assign(i420_frame_bytes(disc_w, disc_h), 128);
    for (int r = 0; r < disc_h; ++r)
        for (int x = 0; x < disc_w; ++x) {
            const double dx = x + 0.5 - disc_w / 2.0, dy = r + 0.5 - disc_h / 2.0;
            const double radius = 0.35 * disc_h;
            disc_i420[static_cast<std::size_t>(r) * disc_w + x] = dx * dx + dy * dy < radius * radius ? 235 : 16;
        }
    *w = disc_w;
    *h = disc_h;
    return true;
}

bool disc_frame(double, CaptureFrame* out)
{
    *out = capture_frame_i420(disc_i420.data(), disc_i420.size(), disc_w, disc_h);
    return true;
}

const CaptureSource disc_source = {"disc", disc_open, disc_frame, [] {}, true};

bool quiet_box(const std::string&, const std::string&, MessageBoxKind) { return true; }

class PictureShape : public GlTest {
protected:
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        capdrv_use_source(nullptr);
        message_box_set_hook(nullptr);
        feedback_forget_textures();
        show_clock_set_source(nullptr);
        GlTest::TearDown();
    }

    // Width and height of the bright disc through the window's centre, in
    // mode 2 with a silent spectrum, where the ripple leaves the picture flat.
    void disc_extent(int* across, int* down)
    {
        ASSERT_TRUE(gl_state_init());
        message_box_set_hook(quiet_box);
        capdrv_use_source(&disc_source);
        ASSERT_TRUE(capture_connect(0));
        show_clock_use_manual(60000.0);
        ASSERT_TRUE(capture_render_frame(60000.0));
        compose_frame();
        *across = *down = 0;
        for (int x = 0; x < screen_width; ++x)
            *across += pixel_at(x, screen_height / 2).g > 128;
        for (int y = 0; y < screen_height; ++y)
            *down += pixel_at(screen_width / 2, y).g > 128;
    }
};

// A 16:9 picture on a 4:3 window fills its height, the disc 0.7 of it; a 4:3
// picture on a 16:9 window fills its width, 144 rows of which the disc is 0.7.
TEST_F(PictureShape, DiscStaysRoundEitherWay)
{
    const struct {
        int window_w, window_h, frame_w, frame_h, disc;
    } cases[] = {{160, 120, 320, 180, 84}, {192, 108, 240, 180, 101}};
    for (const auto& c : cases) {
        reopen(c.window_w, c.window_h);
        disc_w = c.frame_w, disc_h = c.frame_h;
        int across = 0, down = 0;
        disc_extent(&across, &down);
        EXPECT_NEAR(across, c.disc, 4) << c.frame_w << "x" << c.frame_h;
        EXPECT_NEAR(down, c.disc, 4) << c.frame_w << "x" << c.frame_h;
        capture_disconnect();
        capture_shutdown();
        feedback_forget_textures();
    }
}

}  // namespace
