// A picture whose shape differs from the window's is cut around its centre,
// never squeezed: a disc stays round, whichever way the shapes differ.

#include "tests/support/gl_test.h"

#include "app/clock.h"
#include "app/settings.h"
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

TEST_F(PictureShape, WidePictureOnAFourByThreeWindowKeepsItsShape)
{
    reopen(160, 120);
    disc_w = 320, disc_h = 180;
    int across = 0, down = 0;
    disc_extent(&across, &down);
    // Full height: the disc is 0.7 of it, and as wide as it is high.
    EXPECT_NEAR(down, 84, 4);
    EXPECT_NEAR(across, down, 4);
}

TEST_F(PictureShape, FourByThreePictureOnAWideWindowKeepsItsShape)
{
    reopen(192, 108);
    disc_w = 240, disc_h = 180;
    int across = 0, down = 0;
    disc_extent(&across, &down);
    // Full width: the picture is 144 high on the window, the disc 0.7 of that.
    EXPECT_NEAR(across, 101, 4);
    EXPECT_NEAR(across, down, 4);
}

}  // namespace
