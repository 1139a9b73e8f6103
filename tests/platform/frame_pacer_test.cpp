#include "platform/frame_pacer.h"

#include <gtest/gtest.h>

using std::chrono::milliseconds;

// Passes that end at different points of their period wait for the same
// grid; one that overruns its deadline does not wait, and the grid goes on
// from the next deadline ahead (exactly on a deadline is late too). An
// unknown refresh paces at 60 Hz.
TEST(FramePacerTest, DeadlinesStayOnTheGridWhateverEachPassCosts)
{
    FramePacer p;
    const PacerClock::time_point t0{};
    frame_pacer_start(&p, 50.0, t0);  // 20 ms
    const int now_ms[] = {1, 39, 47, 60, 92, 165, 171, 181, 220, 221};
    const int next_ms[] = {20, 40, 60, 80, 100, 165, 180, 200, 220, 240};
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(frame_pacer_next(&p, t0 + milliseconds(now_ms[k])), t0 + milliseconds(next_ms[k])) << k;
    frame_pacer_start(&p, 0.0, t0);
    EXPECT_NEAR(std::chrono::duration<double>(frame_pacer_next(&p, t0).time_since_epoch()).count(), 1.0 / 60.0, 1e-6);
}
