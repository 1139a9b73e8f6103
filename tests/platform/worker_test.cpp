// The capture grabs' workers: calls until stopped, a stop that cuts a long
// first delay short, slots never shared between two workers.
#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<int> worker_calls{0};
void count_call(int) { worker_calls.fetch_add(1); }
}  // namespace

TEST(Worker, CallsUntilStoppedAndAStopEndsEvenALongDelay)
{
    const int slot = worker_start(count_call, 1, 0);
    ASSERT_GE(slot, 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (worker_calls.load() < 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    EXPECT_GE(worker_calls.load(), 3);
    worker_stop(slot);
    const int after = worker_calls.load();
    for (int nonsense : {slot, 0, 127, -1, 128})
        worker_stop(nonsense);  // twice, or never started: harmless
    EXPECT_TRUE(worker_count() == 0 && worker_calls.load() == after) << "no call once stopped";
    // An hour's first delay is cut short; a running worker's slot is not handed out again.
    const int a = worker_start(count_call, 1000, 3'600'000), b = worker_start(count_call, 1000, 3'600'000);
    worker_stop(a);
    const int c = worker_start(count_call, 1000, 3'600'000);
    EXPECT_TRUE(a >= 0 && a != b && c != b) << a << " " << b << " " << c;
    for (int slot : {b, c})
        worker_stop(slot);
    EXPECT_TRUE(worker_count() == 0 && worker_calls.load() == after);
}
