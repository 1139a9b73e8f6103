// Frames through connect, the grab worker, the frame callback and the upload,
// read back from the video texture in a real GL context; the worker stopped
// at awkward moments, and sources that fail mid-show.

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "capture/yuv.h"
#include "platform/main_thread.h"
#include "platform/message_box.h"
#include "platform/worker.h"
#include "tests/capture/y4m_writer.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>
#include <SDL.h>

#include <array>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using Rgb3 = std::array<int, 3>;

Rgb3 rgb_of(int y, int u, int v)
{
    Rgb3 c{};
    yuv_to_rgb(y, u, v, &c[0], &c[1], &c[2]);
    return c;
}

// A source whose frames the test sets: size, colour, how many bytes the frame
// claims, and after how many grabs it stops giving frames (a camera unplugged).
struct Scripted {
    int w = 4, h = 2;
    std::vector<std::uint8_t> data;
    std::size_t size = 0;
    int grabs = 0;  // main thread only, like every frame request
    int fails_after = 1 << 30;
    bool brighter = false;  // each grab a lighter grey
} scripted;

void fill(int w, int h, std::uint8_t y, std::uint8_t u, std::uint8_t v)
{
    scripted.w = w;
    scripted.h = h;
    const std::size_t luma = static_cast<std::size_t>(w) * h;
    scripted.data.assign(i420_frame_bytes(w, h), v);
    std::fill(scripted.data.begin(), scripted.data.begin() + luma, y);
    std::fill(scripted.data.begin() + luma, scripted.data.begin() + luma + (scripted.data.size() - luma) / 2, u);
    scripted.size = scripted.data.size();
}

const CaptureSource scripted_source = {
    "failing",
    [](const std::string&, int* w, int* h) {
        *w = scripted.w;
        *h = scripted.h;
        return true;
    },
    [](double, CaptureFrame* out) {
        if (++scripted.grabs > scripted.fails_after)
            return false;
        if (scripted.brighter)
            fill(scripted.w, scripted.h, static_cast<std::uint8_t>(40 + 30 * scripted.grabs), 128, 128);
        *out = capture_frame_i420(scripted.data.data(), scripted.size, scripted.w, scripted.h);
        return true;
    },
    [] {},
    false};

std::vector<std::string> boxes;
bool record_box(const std::string& caption, const std::string& text, MessageBoxKind)
{
    boxes.push_back(caption + "|" + text);
    return true;
}

// The main loop's share: posted calls run one event at a time, until done()
// or the time limit.
bool pump_until(const std::function<bool()>& done, double limit_s = 30)
{
    const auto end = Clock::now() + std::chrono::duration<double>(limit_s);
    while (!done() && Clock::now() < end) {
        SDL_Event ev;
        if (SDL_WaitEventTimeout(&ev, 2) == 1)
            main_thread_dispatch(ev);
    }
    return done();
}
int pending_requests()
{
    SDL_PumpEvents();
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_USEREVENT, SDL_LASTEVENT);
}
int count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class CaptureTexture : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        scripted = {};
        fill(4, 2, 126, 128, 128);
        boxes.clear();
        message_box_set_hook(record_box);
    }
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        pump_until([] { return false; }, 0.01);  // leftover requests must be harmless
        capdrv_use_source(nullptr);
        capture_select_source("auto");
        message_box_set_hook(nullptr);
        GlTest::TearDown();
    }
    // The connected source's frame for a show time, to the callback.
    static void callback_at(double show_ms)
    {
        CaptureFrame f;
        ASSERT_TRUE(capdrv_frame(show_ms, &f));
        EXPECT_EQ(capture_frame_callback(f), 0);
    }
    static std::vector<std::uint8_t> texels()
    {
        std::vector<std::uint8_t> t(static_cast<std::size_t>(video_tex_width) * video_tex_height * 3);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glBindTexture(GL_TEXTURE_2D, video_texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, t.data());
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
        return t;
    }
    // Texel (x, row), row 0 the top of the picture.
    static Rgb3 texel(const std::vector<std::uint8_t>& t, int x, int row)
    {
        const std::uint8_t* p = &t[(static_cast<std::size_t>(row) * video_tex_width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

}  // namespace

TEST_F(CaptureTexture, WithoutACameraOrWithABadFileTheShowRunsOnWithoutVideo)
{
    const std::string bad = y4m_test_path("pipeline_422");
    ASSERT_TRUE(write_y4m(bad, "YUV4MPEG2 W8 H8 F25:1 C422", 8, 8, {{100, 100, 100}}));
    ASSERT_TRUE(capture_window_create());
    for (const std::string& source : {std::string("none"), bad}) {
        boxes.clear();
        capture_select_source(source);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(capture_connect(0));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(source == bad, err.find("C422 is not supported") != std::string::npos) << err;
        EXPECT_EQ(boxes, std::vector<std::string>{"Error|Cannot open video device"});
        EXPECT_EQ(video_texture, 0u);
        EXPECT_EQ(video_width + video_height + video_tex_width + video_tex_height, 0);
    }
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

// An odd-sized file (RGB rows not a multiple of 4 bytes) reaches the texture
// one callback late, unskewed, black around it; a render shows the frame for
// its show time at once.
TEST_F(CaptureTexture, FileFramesReachTheTextureWhole)
{
    const int w = 175, h = 143;
    const std::string path = y4m_test_path("pipeline_odd");
    const std::vector<Y4mColour> chroma = {{0, 90, 200}, {0, 200, 60}, {0, 60, 60}};
    auto luma = [](int n, int r, int x) { return static_cast<std::uint8_t>(16 + (x * 7 + r * 3 + n * 50) % 220); };
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W175 H143 F10:1 C420jpeg", w, h, chroma, {}, 0, luma));
    capture_select_source(path);
    ASSERT_TRUE(capture_connect(0));
    EXPECT_EQ(boxes, std::vector<std::string>{"Information:|Video device connected :)"});
    EXPECT_EQ(video_width * 1000 + video_height, w * 1000 + h);
    EXPECT_EQ(video_tex_width * 1000 + video_tex_height, 256256);
    ASSERT_NE(video_texture, 0u);
    auto shows = [&](int n) {
        const std::vector<std::uint8_t> t = texels();
        for (int r = 0; r < video_tex_height; ++r)
            for (int x = 0; x < video_tex_width; ++x) {
                const Rgb3 want = n < 0 || r >= h || x >= w ? Rgb3{0, 0, 0} : rgb_of(luma(n, r, x), chroma[n].u, chroma[n].v);
                if (texel(t, x, r) != want)
                    return ::testing::AssertionFailure() << "frame " << n << ": texel (" << x << ", " << r << ")";
            }
        return ::testing::AssertionSuccess();
    };
    EXPECT_TRUE(shows(-1));
    callback_at(0);  // converts frame 0, uploads the zero-filled block
    EXPECT_TRUE(shows(-1));
    callback_at(100);  // uploads frame 0, converts frame 1
    EXPECT_TRUE(shows(0));
    callback_at(100);
    EXPECT_TRUE(shows(1));
    EXPECT_EQ(capture_frame_count(), 3u);
    ASSERT_TRUE(capture_render_frame(1200));  // 12 mod 3 = 0
    EXPECT_TRUE(shows(0));
    ASSERT_TRUE(capture_render_frame(250));
    EXPECT_TRUE(shows(2));
}

TEST_F(CaptureTexture, ShortOrResizedFramesAreSkippedAndThePictureKept)
{
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_connect(0));
    const Rgb3 a = rgb_of(80, 60, 200), b = rgb_of(160, 200, 60), c = rgb_of(40, 220, 220);
    fill(4, 2, 80, 60, 200);
    callback_at(0);  // black up, A converted
    callback_at(0);  // A up, A converted
    EXPECT_EQ(texel(texels(), 1, 1), a);
    fill(4, 2, 40, 220, 220);
    callback_at(0);  // A up, C converted
    EXPECT_EQ(texel(texels(), 1, 1), a);

    fill(4, 2, 160, 200, 60);
    scripted.size -= 1;  // one V byte missing
    ::testing::internal::CaptureStderr();
    callback_at(0);
    EXPECT_EQ(texel(texels(), 1, 1), c);
    callback_at(0);
    std::vector<std::uint8_t> big(i420_frame_bytes(4, 8), 200);  // another height than connected
    EXPECT_EQ(capture_frame_callback(capture_frame_i420(big.data(), big.size(), 4, 8)), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(texel(texels(), 1, 1), c) << "short frames are skipped, never an older picture shown";
    EXPECT_EQ(count_of(err, "\n"), 1) << err;
    EXPECT_EQ(count_of(err, "skipping"), 1) << err;
    scripted.size += 1;
    callback_at(0);  // C up again, B converted
    EXPECT_EQ(texel(texels(), 1, 1), c);
    callback_at(0);
    EXPECT_EQ(texel(texels(), 1, 1), b);
}

// 600 x 450 would not fit the table's 512-wide texture: it gets 1024 x 512 and
// arrives whole; the upload leaves the unpack state and binding as found.
TEST_F(CaptureTexture, WideFramesShowWholeAndTheUploadLeavesTheGlStateAsFound)
{
    fill(600, 450, 126, 128, 128);
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_connect(0));
    EXPECT_EQ(video_tex_width * 1000 + video_tex_height, 1024512);
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
    const std::vector<std::uint8_t> t = texels();
    const std::tuple<int, int, int> probes[] = {{0, 0, 128}, {599, 449, 128}, {600, 449, 0}, {599, 450, 0}};
    for (const auto& [x, y, grey] : probes)
        EXPECT_EQ(texel(t, x, y), (Rgb3{grey, grey, grey})) << x << ", " << y;
    glDeleteTextures(1, &other);
}

TEST_F(CaptureTexture, GrabsOnlyWhileConnectedAndGrabbing)
{
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_window_create());
    ASSERT_TRUE(capture_connect(0));
    pump_until([] { return scripted.grabs > 0; }, 0.05);
    EXPECT_EQ(scripted.grabs, 0) << "no worker yet";
    ASSERT_TRUE(capture_grab_start(true, 1));
    ASSERT_TRUE(pump_until([] { return scripted.grabs >= 3; }));
    EXPECT_EQ(capture_frame_count(), static_cast<unsigned>(scripted.grabs)) << "one callback per grab";

    capture_grab_start(false, 1);
    pump_until([] { return false; }, 0.05);  // a request sent before the flag changed may still come
    const int paused_at = scripted.grabs;
    pump_until([] { return false; }, 0.1);
    EXPECT_EQ(scripted.grabs, paused_at) << "no grabs while grabbing is off";
    capture_grab_start(true, 1);
    ASSERT_TRUE(pump_until([paused_at] { return scripted.grabs >= paused_at + 3; }));
    EXPECT_EQ(worker_count(), 1) << "starting again does not add a worker";

    EXPECT_TRUE(capture_disconnect());
    const int disconnected_at = scripted.grabs;
    pump_until([] { return false; }, 0.15);
    EXPECT_EQ(scripted.grabs, disconnected_at) << "no grabs after disconnect, not even one already queued";
    // Shutdown without a disconnect still closes the device.
    ASSERT_TRUE(capture_connect(0));
    capture_shutdown();
    EXPECT_FALSE(capdrv_connected());
    EXPECT_EQ(worker_count(), 0);
    EXPECT_FALSE(capture_disconnect()) << "already closed";

    // Without the capture window nothing can serve a request: the worker's
    // call returns at once instead of waiting for ever.
    capwin_release();
    ASSERT_TRUE(capture_connect(0));
    capture_grab_start(true, 1);
    std::thread([] { capture_grab_frame(0); }).join();
    EXPECT_EQ(scripted.grabs, disconnected_at);
}

// The main loop has stopped serving requests when shutdown comes: the worker
// blocked in one is let go, and the request left in the queue does nothing
// when it is dispatched later.
TEST_F(CaptureTexture, ShutdownWhileAGrabRequestWaitsEndsWithinASecond)
{
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_window_create());
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(capture_grab_start(true, 1));
    const auto limit = Clock::now() + std::chrono::seconds(30);
    while (pending_requests() == 0 && Clock::now() < limit)
        SDL_Delay(1);
    ASSERT_GT(pending_requests(), 0) << "the worker posted a request";
    const auto start = Clock::now();
    capture_disconnect();
    capture_shutdown();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(worker_count(), 0);
    pump_until([] { return pending_requests() == 0; }, 5);
    EXPECT_EQ(scripted.grabs, 0);
    EXPECT_EQ(capture_frame_count(), 0u);
}

// A camera that stops giving frames mid-show: one line, the last real
// picture kept, the show runs on and ends without a close error; connected
// again, it is reported again.
TEST_F(CaptureTexture, SourceThatStopsMidShowFreezesThePictureWithOneLine)
{
    const int good = 5;
    fill(16, 16, 40, 128, 128);
    scripted.fails_after = good;
    scripted.brighter = true;
    capdrv_use_source(&scripted_source);
    ASSERT_TRUE(capture_window_create());
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(capture_grab_start(true, 1));
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(pump_until([&] { return scripted.grabs >= good + 3; }));
    const std::vector<std::uint8_t> frozen = texels();
    ASSERT_TRUE(pump_until([&] { return scripted.grabs >= good + 40; }));
    const std::vector<std::uint8_t> later = texels();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(capture_frame_count(), static_cast<unsigned>(good));
    EXPECT_EQ(frozen[0], rgb_of(40 + 30 * (good - 1), 128, 128)[0]) << "the next-to-last good frame, one grab late";
    EXPECT_EQ(frozen, later);
    EXPECT_EQ(count_of(err, "\n"), 1) << err;
    EXPECT_EQ(count_of(err, "capture: the failing source stopped giving frames"), 1) << err;

    ::testing::internal::CaptureStderr();
    scripted.grabs = 0;
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(pump_until([&] { return scripted.grabs >= good + 3; }));
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(err, "stopped giving frames"), 1) << err;

    const auto start = Clock::now();
    EXPECT_TRUE(capture_disconnect());
    capture_shutdown();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(boxes, std::vector<std::string>(2, "Information:|Video device connected :)"));
}
