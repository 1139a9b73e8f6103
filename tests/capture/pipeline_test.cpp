// Frames through connect, the frame callback and the upload, read back from
// the video texture in a real GL context.

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "capture/yuv.h"
#include "platform/message_box.h"
#include "platform/worker.h"
#include "tests/capture/y4m_writer.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> boxes;

bool record_box(const std::string& caption, const std::string& text, MessageBoxKind)
{
    boxes.push_back(caption + "|" + text);
    return true;
}

std::vector<std::uint8_t> read_video_texture()
{
    std::vector<std::uint8_t> texels(static_cast<std::size_t>(video_tex_width) * video_tex_height * 3);
    glBindTexture(GL_TEXTURE_2D, video_texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

std::array<int, 3> rgb_of(std::uint8_t y, std::uint8_t u, std::uint8_t v)
{
    std::array<int, 3> c{};
    yuv_to_rgb(y, u, v, &c[0], &c[1], &c[2]);
    return c;
}

// Texel (x, row) against a colour; rows count from texture row 0, the top
// of the picture.
::testing::AssertionResult texel_is(const std::vector<std::uint8_t>& t, int x, int row, std::array<int, 3> want)
{
    const std::uint8_t* p = &t[(static_cast<std::size_t>(row) * video_tex_width + x) * 3];
    if (p[0] == want[0] && p[1] == want[1] && p[2] == want[2])
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "texel (" << x << ", " << row << ") is (" << int(p[0]) << ", "
                                         << int(p[1]) << ", " << int(p[2]) << "), want (" << want[0]
                                         << ", " << want[1] << ", " << want[2] << ")";
}

bool all_black(const std::vector<std::uint8_t>& t)
{
    for (std::uint8_t b : t)
        if (b != 0)
            return false;
    return true;
}

// A source whose frames the test sets: a frame buffer and how many of its
// bytes the frame claims.
struct Scripted {
    int w = 4, h = 2;
    std::vector<std::uint8_t> data;
    std::size_t size = 0;
};
Scripted scripted;

void scripted_fill(std::uint8_t y, std::uint8_t u, std::uint8_t v)
{
    std::size_t luma = static_cast<std::size_t>(scripted.w) * scripted.h;
    scripted.data.assign(i420_frame_bytes(scripted.w, scripted.h), v);
    std::fill(scripted.data.begin(), scripted.data.begin() + luma, y);
    std::size_t chroma = (scripted.data.size() - luma) / 2;
    std::fill(scripted.data.begin() + luma, scripted.data.begin() + luma + chroma, u);
    scripted.size = scripted.data.size();
}

const CaptureSource scripted_source = {
    "scripted",
    [](const std::string&, int* w, int* h) {
        *w = scripted.w;
        *h = scripted.h;
        return true;
    },
    [](double, CaptureFrame* out) {
        *out = capture_frame_i420(scripted.data.data(), scripted.size, scripted.w, scripted.h);
        return true;
    },
    [] {},
    false};

class CapturePipeline : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        boxes.clear();
        message_box_set_hook(record_box);
    }
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        capdrv_use_source(nullptr);
        capture_select_source("auto");
        message_box_set_hook(nullptr);
        for (const std::string& p : files)
            std::remove(p.c_str());
        GlTest::TearDown();
    }

    // The frame the connected source holds for a show time, to the callback.
    void callback_at(double show_ms)
    {
        CaptureFrame f;
        ASSERT_TRUE(capdrv_frame(show_ms, &f));
        EXPECT_EQ(capture_frame_callback(f), 0);
    }

    std::vector<std::string> files;
};

}  // namespace

TEST_F(CapturePipeline, WithoutACameraTheShowRunsOnWithoutVideoAndNoCloseBox)
{
    capture_select_source("none");
    ASSERT_TRUE(capture_window_create());
    EXPECT_FALSE(capture_connect(0));
    EXPECT_EQ(boxes, std::vector<std::string>{"Error|Cannot open video device"});
    EXPECT_EQ(video_texture, 0u);
    EXPECT_EQ(video_width, 0);
    EXPECT_EQ(video_height, 0);
    EXPECT_EQ(video_tex_width, 0);
    EXPECT_EQ(video_tex_height, 0);

    // The worker runs all the same and its calls do nothing.
    EXPECT_TRUE(capture_grab_start(true, 62));
    EXPECT_EQ(worker_count(), 1);
    capture_grab_frame(0);
    EXPECT_EQ(capture_frame_count(), 0u);

    EXPECT_FALSE(capture_disconnect());
    capture_shutdown();
    EXPECT_EQ(boxes.size(), 1u) << "no \"Cannot close video device\" without a device";
    EXPECT_EQ(worker_count(), 0);
}

TEST_F(CapturePipeline, BadFileGivesTheOpenBox)
{
    std::string path = y4m_test_path("pipeline_422");
    files.push_back(path);
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W8 H8 F25:1 C422", 8, 8, {{100, 100, 100}}));
    capture_select_source(path);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(capture_connect(0));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("C422 is not supported"), std::string::npos) << err;
    EXPECT_EQ(boxes, std::vector<std::string>{"Error|Cannot open video device"});
    EXPECT_EQ(video_texture, 0u);
}

// A file with known colours, odd sized so that RGB rows are not a multiple
// of 4 bytes, reaches the texture one callback late and unskewed.
TEST_F(CapturePipeline, FileFramesReachTheTextureOneGrabLate)
{
    const int w = 175, h = 143;
    std::string path = y4m_test_path("pipeline_odd");
    files.push_back(path);
    std::vector<Y4mColour> chroma = {{0, 90, 200}, {0, 200, 60}};
    auto luma = [](int n, int r, int x) { return static_cast<std::uint8_t>(16 + (x * 7 + r * 3 + n * 50) % 220); };
    ASSERT_TRUE(write_y4m_fn(path, "YUV4MPEG2 W175 H143 F10:1 C420jpeg", w, h, chroma, luma));
    capture_select_source(path);
    ASSERT_TRUE(capture_connect(0));
    EXPECT_EQ(boxes, std::vector<std::string>{"Information:|Video device connected :)"});
    EXPECT_EQ(video_width, w);
    EXPECT_EQ(video_height, h);
    EXPECT_EQ(video_tex_width, 256);
    EXPECT_EQ(video_tex_height, 256);
    ASSERT_NE(video_texture, 0u);
    EXPECT_TRUE(all_black(read_video_texture()));

    auto frame_matches = [&](int n) {
        std::vector<std::uint8_t> t = read_video_texture();
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                auto res = texel_is(t, x, r, rgb_of(luma(n, r, x), chroma[n].u, chroma[n].v));
                if (!res)
                    return res << " (frame " << n << ")";
            }
        // Outside the frame the texture stays black.
        for (int r = 0; r < video_tex_height; ++r)
            for (int x = (r < h ? w : 0); x < video_tex_width; ++x) {
                auto res = texel_is(t, x, r, {0, 0, 0});
                if (!res)
                    return res << " (outside the frame)";
            }
        return ::testing::AssertionSuccess();
    };

    callback_at(0);  // converts frame 0, uploads the zero-filled block
    EXPECT_TRUE(all_black(read_video_texture())) << "the first callback uploads black";
    callback_at(100);  // uploads frame 0, converts frame 1
    EXPECT_TRUE(frame_matches(0));
    callback_at(100);
    EXPECT_TRUE(frame_matches(1));
    EXPECT_EQ(capture_frame_count(), 3u);
}

TEST_F(CapturePipeline, RenderShowsTheFileFrameForThatShowTimeAtOnce)
{
    std::string path = y4m_test_path("pipeline_render");
    files.push_back(path);
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W6 H4 F4:1", 6, 4, {{40, 128, 128}, {120, 60, 200}, {200, 200, 60}}));
    capture_select_source(path);
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(capture_render_frame(600));  // floor(0.6 x 4) = 2
    std::vector<std::uint8_t> t = read_video_texture();
    EXPECT_TRUE(texel_is(t, 3, 2, rgb_of(200, 200, 60)));
    EXPECT_TRUE(texel_is(t, 3, 0, rgb_of(235, 200, 60))) << "row 0 is the top of the picture";
    ASSERT_TRUE(capture_render_frame(1100));  // 4 mod 3 = 1
    t = read_video_texture();
    EXPECT_TRUE(texel_is(t, 5, 3, rgb_of(120, 60, 200)));
}

TEST_F(CapturePipeline, ShortFramesAreSkippedAndThePictureKept)
{
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_connect(0));
    const auto a = rgb_of(80, 60, 200), b = rgb_of(160, 200, 60), c = rgb_of(40, 220, 220);

    scripted_fill(80, 60, 200);
    callback_at(0);  // black up, A converted
    callback_at(0);  // A up, A converted
    ASSERT_TRUE(texel_is(read_video_texture(), 1, 1, a));
    scripted_fill(40, 220, 220);
    callback_at(0);  // A up, C converted
    ASSERT_TRUE(texel_is(read_video_texture(), 1, 1, a));

    scripted_fill(160, 200, 60);
    scripted.size = scripted.data.size() - 1;  // one V byte missing
    ::testing::internal::CaptureStderr();
    callback_at(0);
    EXPECT_TRUE(texel_is(read_video_texture(), 1, 1, c));
    callback_at(0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(texel_is(read_video_texture(), 1, 1, c)) << "short frames are skipped, never an older picture shown";
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("skipping"), std::string::npos) << err;

    scripted.size = scripted.data.size();
    callback_at(0);  // C up again, B converted
    EXPECT_TRUE(texel_is(read_video_texture(), 1, 1, c));
    callback_at(0);
    EXPECT_TRUE(texel_is(read_video_texture(), 1, 1, b));
}

// 600 x 450 would not fit the table's 512-wide texture; it gets 1024 x 512
// and its picture arrives whole.
TEST_F(CapturePipeline, FramesWiderThanTheTableStillShow)
{
    scripted.w = 600;
    scripted.h = 450;
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_connect(0));
    scripted.w = 4;
    scripted.h = 2;  // the next test's default; the connected size stays
    EXPECT_EQ(video_tex_width, 1024);
    EXPECT_EQ(video_tex_height, 512);
    scripted.w = 600;
    scripted.h = 450;
    scripted_fill(126, 128, 128);
    callback_at(0);
    callback_at(0);
    scripted.w = 4;
    scripted.h = 2;
    std::vector<std::uint8_t> t = read_video_texture();
    EXPECT_TRUE(texel_is(t, 0, 0, {128, 128, 128}));
    EXPECT_TRUE(texel_is(t, 599, 449, {128, 128, 128}));
    EXPECT_TRUE(texel_is(t, 600, 449, {0, 0, 0}));
    EXPECT_TRUE(texel_is(t, 599, 450, {0, 0, 0}));
}

TEST_F(CapturePipeline, UploadLeavesTheUnpackStateAndBindingAsFound)
{
    scripted.w = 5;
    scripted.h = 3;
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_connect(0));
    scripted_fill(126, 128, 128);
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    callback_at(0);
    callback_at(0);
    GLint alignment = 0, bound = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(alignment, 8);
    EXPECT_EQ(static_cast<GLuint>(bound), other);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    std::vector<std::uint8_t> t = read_video_texture();
    EXPECT_TRUE(texel_is(t, 4, 2, {128, 128, 128}));
    EXPECT_TRUE(texel_is(t, 5, 2, {0, 0, 0}));
    glDeleteTextures(1, &other);
    scripted.w = 4;
    scripted.h = 2;
}

// The frame a frame of another size than the connected one is skipped too.
TEST_F(CapturePipeline, FramesOfAnotherSizeAreSkipped)
{
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_connect(0));  // 4 x 2
    std::vector<std::uint8_t> big(i420_frame_bytes(8, 8), 200);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(capture_frame_callback(capture_frame_i420(big.data(), big.size(), 8, 8)), 0);
    ::testing::internal::GetCapturedStderr();
    scripted_fill(126, 128, 128);
    callback_at(0);
    EXPECT_TRUE(all_black(read_video_texture()));
    callback_at(0);
    EXPECT_TRUE(texel_is(read_video_texture(), 3, 1, {128, 128, 128}));
}
