// Frames through connect, the frame callback and the upload, read back from
// the video texture in a real GL context.

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "tests/capture/y4m_writer.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

namespace {

// An odd-sized file (RGB rows not a multiple of 4 bytes) of three frames at
// 10 a second, no two neighbouring pixels alike.
const int w = 175, h = 143;
const std::vector<Chroma> chroma = {{90, 200}, {200, 60}, {60, 60}};

class CaptureTexture : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        message_box_set_hook([](const std::string&, const std::string&, MessageBoxKind) { return true; });
        capture_select_source(write_y4m("texture", "YUV4MPEG2 W175 H143 F10:1 C420jpeg", w, h, chroma));
    }
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        message_box_set_hook(nullptr);
        GlTest::TearDown();
    }
    // Whether the texture shows frame n (none: -1) whole, black around it.
    static ::testing::AssertionResult shows(int n)
    {
        std::vector<std::uint8_t> t(static_cast<std::size_t>(video_tex_width) * video_tex_height * 3);
        glBindTexture(GL_TEXTURE_2D, video_texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, t.data());
        for (int i = 0; i < video_tex_width * video_tex_height; ++i) {
            const int x = i % video_tex_width, r = i / video_tex_width;  // row 0 the top of the picture
            const auto want = n < 0 || r >= h || x >= w ? std::array<int, 3>{}
                                                        : rgb_of(y4m_luma(n, r, x), chroma[n].u, chroma[n].v);
            if (std::array<int, 3>{t[3 * i], t[3 * i + 1], t[3 * i + 2]} != want)
                return ::testing::AssertionFailure() << "frame " << n << ": texel (" << x << ", " << r << ")";
        }
        return ::testing::AssertionSuccess();
    }
    static void callback_at(double show_ms)
    {
        CaptureFrame f;
        ASSERT_TRUE(capdrv_frame(show_ms, &f));
        EXPECT_EQ(capture_frame_callback(f), 0);
    }
};

}  // namespace

// Each frame reaches the texture one callback late, unskewed; a render shows
// the frame for its show time at once. A frame of another size is skipped
// with one line and the picture kept.
TEST_F(CaptureTexture, FileFramesReachTheTextureWhole)
{
    EXPECT_EQ(capture_frame_count(), 0u) << "no frames before a connect";
    ASSERT_TRUE(capture_connect(0));
    EXPECT_TRUE(video_width == w && video_height == h && video_tex_width == 256 && video_tex_height == 256);
    ASSERT_NE(video_texture, 0u);
    EXPECT_TRUE(shows(-1));
    callback_at(0);  // converts frame 0, uploads the zero-filled block
    EXPECT_TRUE(shows(-1));
    callback_at(100);  // uploads frame 0, converts frame 1
    EXPECT_TRUE(shows(0));
    ::testing::internal::CaptureStderr();
    std::vector<std::uint8_t> tall(i420_frame_bytes(w, h + 1), 200);
    capture_frame_callback(capture_frame_i420(tall.data(), tall.size(), w, h + 1));
    capture_frame_callback(capture_frame_i420(tall.data(), i420_frame_bytes(w, h) - 1, w, h));  // short
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(err.find("skipping") != std::string::npos && std::count(err.begin(), err.end(), '\n') == 1) << err;
    EXPECT_TRUE(shows(1)) << "frames that cannot be read are skipped, never an older picture shown";
    EXPECT_EQ(capture_frame_count(), 2u);
    ASSERT_TRUE(capture_render_frame(1200));  // 12 mod 3 = 0
    EXPECT_TRUE(shows(0));
    ASSERT_TRUE(capture_render_frame(250));
    EXPECT_TRUE(shows(2));
}

// A JPEG camera offering several sizes: the one for the window reaches the
// texture in the colour it was given. Like a camera's, its JPEG is full range.
TEST_F(CaptureTexture, AJpegCameraReachesTheTextureInItsColour)
{
    static const CaptureSource stand_in = {"stand-in camera", [](const std::string&, int* w, int* h) {
        return camera_open_pipeline(
            "videotestsrc is-live=true pattern=solid-color foreground-color=0xffc83c28 ! video/x-raw,format=RGB"
            " ! videoconvert ! video/x-raw,format=I420,colorimetry=1:4:0:0 ! jpegenc ! capsfilter caps=\""
            "image/jpeg,width=800,height=600,framerate=30/1;image/jpeg,width=320,height=240,framerate=30/1;"
            "image/jpeg,width=1280,height=960,framerate=30/1\"", w, h);
    }, camera_source.frame, camera_source.close, false};
    capdrv_use_source(&stand_in);
    screen_width = 640, screen_height = 480;
    const bool connected = capture_connect(0);
    capdrv_use_source(nullptr);
    ASSERT_TRUE(connected);
    EXPECT_TRUE(video_width == 800 && video_height == 600 && video_tex_width == 1024 && video_tex_height == 1024);
    callback_at(0);
    callback_at(0);  // uploads the first
    std::vector<std::uint8_t> t(static_cast<std::size_t>(video_tex_width) * video_tex_height * 3);
    glBindTexture(GL_TEXTURE_2D, video_texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, t.data());
    for (const auto& [x, y] : {std::pair{0, 0}, {400, 300}, {799, 599}}) {
        const std::uint8_t* p = &t[(static_cast<std::size_t>(y) * video_tex_width + x) * 3];
        EXPECT_TRUE(near_rgb({p[0], p[1], p[2]}, {200, 60, 40}, 4)) << x << ", " << y;
    }
}
