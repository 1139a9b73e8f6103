// The periodic workers and the grab requests they send to the main thread.

#include "capture/capture.h"
#include "capture/driver.h"
#include "capture/source.h"
#include "platform/main_thread.h"
#include "platform/message_box.h"
#include "platform/worker.h"
#include "tests/support/gl_test.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace {

std::atomic<int> worker_calls{0};
void count_call(int arg)
{
    EXPECT_EQ(arg, 0);
    worker_calls.fetch_add(1, std::memory_order_relaxed);
}

// Runs the main loop's share: one event at a time to the posted-call
// dispatcher, until done() or the time limit. Returns done().
bool pump_until(const std::function<bool()>& done, double limit_s)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_s);
    while (!done() && std::chrono::steady_clock::now() < end) {
        SDL_Event ev;
        if (SDL_WaitEventTimeout(&ev, 2) == 1)
            main_thread_dispatch(ev);
    }
    return done();
}

void pump_for(double seconds)
{
    pump_until([] { return false; }, seconds);
}

int pending_user_events()
{
    SDL_PumpEvents();
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_USEREVENT, SDL_LASTEVENT);
}

// Runs fn on a thread of its own; a hang ends the test program with a
// failure instead of leaving it to the test runner's time-out.
void must_return(const std::function<void()>& fn, const char* what)
{
    std::packaged_task<void()> task(fn);
    std::future<void> done = task.get_future();
    std::thread t(std::move(task));
    if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return: hung\n", what);
        std::_Exit(1);
    }
    t.join();
}

// A source that counts the frames taken from it.
int grabs = 0;
std::vector<unsigned char> grey(i420_frame_bytes(4, 2), 128);
const CaptureSource counting_source = {
    "counting",
    [](const std::string&, int* w, int* h) {
        *w = 4;
        *h = 2;
        return true;
    },
    [](double, CaptureFrame* out) {
        ++grabs;  // main thread only, like every frame request
        *out = capture_frame_i420(grey.data(), grey.size(), 4, 2);
        return true;
    },
    [] {},
    false};

bool quiet_box(const std::string&, const std::string&, MessageBoxKind) { return true; }

class GrabWorker : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        grabs = 0;
        message_box_set_hook(quiet_box);
        capdrv_use_source(&counting_source);
    }
    void TearDown() override
    {
        capture_disconnect();
        capture_shutdown();
        pump_for(0.01);  // leftover requests must be harmless
        capdrv_use_source(nullptr);
        message_box_set_hook(nullptr);
        GlTest::TearDown();
    }
};

}  // namespace

TEST(Worker, CallsItsFunctionUntilStopped)
{
    worker_calls = 0;
    int slot = worker_start(count_call, 1, 0);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(worker_count(), 1);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (worker_calls.load() < 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    EXPECT_GE(worker_calls.load(), 3);
    worker_stop(slot);
    EXPECT_EQ(worker_count(), 0);
    int after = worker_calls.load();
    worker_stop(slot);  // twice is harmless
    EXPECT_EQ(worker_count(), 0);
    EXPECT_EQ(worker_calls.load(), after) << "no call once stopped";
}

TEST(Worker, StoppingWorkersThatNeverStartedDoesNothing)
{
    worker_stop(0);
    worker_stop(127);
    worker_stop(-1);
    worker_stop(128);
    EXPECT_EQ(worker_count(), 0);
}

// A stop cuts a long sleep short instead of waiting it out.
TEST(Worker, StopEndsALongInitialDelay)
{
    worker_calls = 0;
    int slot = worker_start(count_call, 10, 3'600'000);
    ASSERT_GE(slot, 0);
    worker_stop(slot);
    EXPECT_EQ(worker_calls.load(), 0);
    EXPECT_EQ(worker_count(), 0);
}

TEST(Worker, StoppingOneWorkerLeavesTheOthersSlots)
{
    worker_calls = 0;
    int a = worker_start(count_call, 1000, 3'600'000);
    int b = worker_start(count_call, 1000, 3'600'000);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    worker_stop(a);
    int c = worker_start(count_call, 1000, 3'600'000);
    EXPECT_NE(c, b) << "a running worker's slot is never handed out again";
    worker_stop(b);
    worker_stop(c);
    EXPECT_EQ(worker_count(), 0);
}

TEST_F(GrabWorker, GrabsOnlyWhileConnectedAndGrabbing)
{
    ASSERT_TRUE(capture_window_create());
    ASSERT_TRUE(capture_connect(0));
    pump_for(0.05);
    EXPECT_EQ(grabs, 0) << "no worker yet";

    ASSERT_TRUE(capture_grab_start(true, 1));
    ASSERT_TRUE(pump_until([] { return grabs >= 3; }, 30));
    EXPECT_EQ(capture_frame_count(), static_cast<unsigned>(grabs)) << "one callback per grab";

    capture_grab_start(false, 1);
    pump_for(0.05);  // a request sent before the flag changed may still come
    int paused_at = grabs;
    pump_for(0.1);
    EXPECT_EQ(grabs, paused_at) << "no grabs while grabbing is off";

    capture_grab_start(true, 1);
    ASSERT_TRUE(pump_until([paused_at] { return grabs >= paused_at + 3; }, 30));
    EXPECT_EQ(worker_count(), 1) << "starting again does not add a worker";

    EXPECT_TRUE(capture_disconnect());
    int disconnected_at = grabs;
    pump_for(0.15);
    EXPECT_EQ(grabs, disconnected_at) << "no grabs after disconnect, not even one already queued";

    capture_shutdown();
    EXPECT_EQ(worker_count(), 0);
}

// The main loop has stopped serving requests when shutdown comes: the worker
// blocked in one is let go, and the request left in the queue does nothing
// when it is dispatched later.
TEST_F(GrabWorker, ShutdownWhileAGrabRequestWaitsDoesNotHang)
{
    ASSERT_TRUE(capture_window_create());
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(capture_grab_start(true, 1));
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pending_user_events() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    ASSERT_GT(pending_user_events(), 0) << "the worker posted a request";

    must_return([] {
        capture_disconnect();
        capture_shutdown();
    }, "capture_shutdown with a grab request waiting");
    EXPECT_EQ(worker_count(), 0);

    pump_until([] { return pending_user_events() == 0; }, 5);
    EXPECT_EQ(grabs, 0);
    EXPECT_EQ(capture_frame_count(), 0u);
}

TEST_F(GrabWorker, ShutdownWithoutDisconnectStillClosesTheDevice)
{
    ASSERT_TRUE(capture_window_create());
    ASSERT_TRUE(capture_connect(0));
    ASSERT_TRUE(capture_grab_start(true, 1));
    ASSERT_TRUE(pump_until([] { return grabs >= 1; }, 30));
    capture_shutdown();
    EXPECT_FALSE(capdrv_connected());
    EXPECT_EQ(worker_count(), 0);
    EXPECT_FALSE(capture_disconnect()) << "already closed";
}

// Without the capture window nothing can serve a request: the worker's call
// returns at once instead of waiting for ever.
TEST_F(GrabWorker, RequestsWithoutTheCaptureWindowReturnAtOnce)
{
    capwin_release();
    ASSERT_TRUE(capture_connect(0));
    capture_grab_start(true, 1);
    std::thread t([] { capture_grab_frame(0); });
    t.join();
    EXPECT_EQ(grabs, 0);
}
