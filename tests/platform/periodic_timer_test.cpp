// The periodic timer: deadlines on the grid, late ticks skipping rather than
// bursting, and each timer an id of its own, killed on its own.
#include "platform/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {
void nothing() {}
std::atomic<int> ticks{0};
void tick() { ticks.fetch_add(1); }
}  // namespace

TEST(PeriodicTimer, DeadlinesStayOnTheGridAndEachTimerHasItsOwnId)
{
    const auto start = std::chrono::steady_clock::time_point{} + 1h;
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start - 30ms), start + 25ms);  // a clock before the start
    EXPECT_EQ(periodic_next_deadline(start, 0ms, start + 5ms), start);           // no period: no grid
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 24ms), start + 25ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 25ms), start + 50ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 110ms), start + 125ms);  // late: no burst

    EXPECT_TRUE(time_set_event(0, nothing) == 0 && time_set_event(25, nullptr) == 0);
    const unsigned a = time_set_event(60'000, nothing), b = time_set_event(1, tick);
    EXPECT_TRUE(a != 0 && b != 0 && a != b) << a << " " << b;
    time_kill_event(a);  // at once, and only that one: b ticks on
    const int before = ticks.load();
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (ticks.load() < before + 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    EXPECT_GE(ticks.load(), before + 3);
    for (unsigned id : {b, a})
        time_kill_event(id);  // a second time: harmless
}
