// The periodic timer: deadlines on the grid, late ticks skipping rather than
// bursting, and each timer an id of its own.
#include "platform/periodic_timer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
void nothing() {}
}  // namespace

TEST(PeriodicTimer, DeadlinesStayOnTheGridAndEachTimerHasItsOwnId)
{
    const auto start = std::chrono::steady_clock::time_point{} + 1h;
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start - 1ms), start + 25ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 24ms), start + 25ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 25ms), start + 50ms);
    EXPECT_EQ(periodic_next_deadline(start, 25ms, start + 110ms), start + 125ms);  // late: no burst

    EXPECT_TRUE(time_set_event(0, nothing) == 0 && time_set_event(25, nullptr) == 0);
    const unsigned a = time_set_event(60'000, nothing), b = time_set_event(60'000, nothing);
    EXPECT_TRUE(a != 0 && b != 0 && a != b) << a << " " << b;
    for (unsigned id : {a, b, a})
        time_kill_event(id);  // at once, and a second time harmlessly
}
