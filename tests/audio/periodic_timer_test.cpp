#include "platform/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

TEST(PeriodicDeadline, StaysOnTheGridWhateverTheCallCost)
{
    const steady::time_point start{};
    // On time, or a little late: the next grid point, not now + period.
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 25ms), start + 50ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 27ms), start + 50ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 49ms), start + 50ms);
    // Far behind: the missed ticks are skipped, not fired in a burst.
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 1010ms), start + 1025ms);
    // A thousand ticks on, still on the grid: no drift.
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 25000ms), start + 25025ms);
}

std::mutex tick_mutex;
std::condition_variable tick_cv;
std::atomic<int> ticks{0};
std::atomic<int> finished{0};

void count_tick()
{
    ticks.fetch_add(1);
    tick_cv.notify_all();
    std::this_thread::sleep_for(1ms);  // a tick with some work in it
    finished.fetch_add(1);
}

TEST(PeriodicTimer, TicksUntilKilledAndNeverAfter)
{
    ticks = 0;
    finished = 0;
    const unsigned id = time_set_event(5, count_tick);
    ASSERT_NE(id, 0u);
    {
        std::unique_lock<std::mutex> lock(tick_mutex);
        ASSERT_TRUE(tick_cv.wait_for(lock, 10s, [] { return ticks.load() >= 3; }));
    }
    time_kill_event(id);
    // The kill waited for a tick in progress to end.
    EXPECT_EQ(finished.load(), ticks.load());
    time_kill_event(id);  // a second kill is ignored
}

TEST(PeriodicTimer, RefusesNonsenseAndIgnoresUnknownIds)
{
    EXPECT_EQ(time_set_event(0, count_tick), 0u);
    EXPECT_EQ(time_set_event(25, nullptr), 0u);
    time_kill_event(0);
    time_kill_event(12345);
}

}  // namespace
