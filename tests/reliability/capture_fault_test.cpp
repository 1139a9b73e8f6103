// The camera failing while the show runs, and shutdown while a grab request
// waits: the real worker, grab requests and frame pipeline on llvmpipe.

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "platform/main_thread.h"
#include "platform/message_box.h"
#include "tests/support/gl_test.h"

#include <GL/gl.h>
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int frame_side = 16;
constexpr int good_grabs = 5;

// Frames of one grey each, a lighter one per grab, until the source "breaks"
// after good_grabs; then no frame at all, as a camera unplugged mid-show.
int grabs = 0;  // main thread only, like every frame request
std::vector<unsigned char> frame_bytes(i420_frame_bytes(frame_side, frame_side));
const CaptureSource failing_source = {
    "failing",
    [](const std::string&, int* w, int* h) {
        *w = frame_side;
        *h = frame_side;
        return true;
    },
    [](double, CaptureFrame* out) {
        if (++grabs > good_grabs)
            return false;
        std::fill(frame_bytes.begin(), frame_bytes.begin() + frame_side * frame_side,
                  static_cast<unsigned char>(40 + 30 * grabs));
        std::fill(frame_bytes.begin() + frame_side * frame_side, frame_bytes.end(), 128);
        *out = capture_frame_i420(frame_bytes.data(), frame_bytes.size(), frame_side, frame_side);
        return true;
    },
    [] {},
    false};

std::vector<std::string> boxes;
bool record_box(const std::string& caption, const std::string& text, MessageBoxKind)
{
    boxes.push_back(caption + ": " + text);
    return true;
}

// The main loop's share: posted calls run one event at a time.
bool pump_until(const std::function<bool()>& done, double limit_s)
{
    auto end = Clock::now() + std::chrono::duration<double>(limit_s);
    while (!done() && Clock::now() < end) {
        SDL_Event ev;
        if (SDL_WaitEventTimeout(&ev, 2) == 1)
            main_thread_dispatch(ev);
    }
    return done();
}

int pending_user_events()
{
    SDL_PumpEvents();
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_USEREVENT, SDL_LASTEVENT);
}

std::vector<std::uint8_t> video_texels()
{
    std::vector<std::uint8_t> texels(static_cast<std::size_t>(video_tex_width) * video_tex_height * 3);
    glBindTexture(GL_TEXTURE_2D, video_texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

int count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class CaptureFault : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        grabs = 0;
        boxes.clear();
        message_box_set_hook(record_box);
        capdrv_use_source(&failing_source);
        ASSERT_TRUE(capture_window_create());
        ASSERT_TRUE(capture_connect(0));
    }
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        capdrv_use_source(nullptr);
        message_box_set_hook(nullptr);
        GlTest::TearDown();
    }
};

}  // namespace

TEST_F(CaptureFault, SourceThatStopsMidShowFreezesThePictureWithOneLine)
{
    ASSERT_TRUE(capture_grab_start(true, 1));
    ASSERT_TRUE(pump_until([] { return grabs >= good_grabs; }, 30));

    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(pump_until([] { return grabs >= good_grabs + 3; }, 30));
    const std::vector<std::uint8_t> frozen = video_texels();
    ASSERT_TRUE(pump_until([] { return grabs >= good_grabs + 40; }, 30));
    const std::vector<std::uint8_t> later = video_texels();
    const std::string err = ::testing::internal::GetCapturedStderr();

    // The texture keeps a real picture (the frames come one grab late, so
    // the next-to-last good one), and it no longer changes.
    EXPECT_EQ(capture_frame_count(), static_cast<unsigned>(good_grabs));
    EXPECT_GT(frozen[0], 20) << "the picture went black";
    EXPECT_EQ(frozen, later);
    EXPECT_EQ(count_of(err, "\n"), 1) << err;
    EXPECT_EQ(count_of(err, "capture: the failing source stopped giving frames"), 1) << err;

    // The show runs on and ends without a close error.
    auto start = Clock::now();
    EXPECT_TRUE(capture_disconnect());
    capture_shutdown();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(boxes, std::vector<std::string>{"Information:: Video device connected :)"});
}

TEST_F(CaptureFault, ReconnectingReportsAStoppedSourceAgain)
{
    ASSERT_TRUE(capture_grab_start(true, 1));
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(pump_until([] { return grabs >= good_grabs + 3; }, 30));
    grabs = 0;
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(pump_until([] { return grabs >= good_grabs + 3; }, 30));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(err, "stopped giving frames"), 2) << err;
}

TEST_F(CaptureFault, ShutdownWhileAGrabRequestWaitsEndsWithinASecond)
{
    // Nobody serves the queue, so the worker's first request waits there.
    ASSERT_TRUE(capture_grab_start(true, 1));
    auto limit = Clock::now() + std::chrono::seconds(30);
    while (pending_user_events() == 0 && Clock::now() < limit)
        SDL_Delay(1);
    ASSERT_GT(pending_user_events(), 0);

    auto start = Clock::now();
    capture_disconnect();
    capture_shutdown();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(grabs, 0);

    // The request left in the queue runs later and does nothing.
    pump_until([] { return pending_user_events() == 0; }, 5);
    EXPECT_EQ(grabs, 0);
}
