#include "platform/frame_pacer.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(FramePacerTest, DeadlinesStayOnTheGridWhateverEachPassCosts)
{
    FramePacer p;
    const PacerClock::time_point t0{};
    frame_pacer_start(&p, 50.0, t0);  // 20 ms
    // Passes that end at different points of their period wait for the
    // same grid: the deadlines do not drift with the work.
    const int work_ms[] = {1, 19, 7, 0, 12};
    for (int k = 1; k <= 5; ++k) {
        PacerClock::time_point now = t0 + milliseconds(20 * (k - 1) + work_ms[k - 1]);
        EXPECT_EQ(frame_pacer_next(&p, now), t0 + milliseconds(20 * k)) << "pass " << k;
    }
    // A pass that overruns its deadline and the next does not wait; the
    // grid goes on from the next deadline ahead, not from the late pass.
    EXPECT_EQ(frame_pacer_next(&p, t0 + milliseconds(165)), t0 + milliseconds(165));
    EXPECT_EQ(frame_pacer_next(&p, t0 + milliseconds(171)), t0 + milliseconds(180));
    EXPECT_EQ(frame_pacer_next(&p, t0 + milliseconds(181)), t0 + milliseconds(200));
    // Exactly on a deadline is late too.
    EXPECT_EQ(frame_pacer_next(&p, t0 + milliseconds(220)), t0 + milliseconds(220));
    EXPECT_EQ(frame_pacer_next(&p, t0 + milliseconds(221)), t0 + milliseconds(240));
}

TEST(FramePacerTest, UnknownRefreshPacesAtSixtyHertz)
{
    FramePacer p;
    frame_pacer_start(&p, 0.0, PacerClock::time_point{});
    PacerClock::time_point d = frame_pacer_next(&p, PacerClock::time_point{});
    EXPECT_NEAR(std::chrono::duration<double>(d.time_since_epoch()).count(), 1.0 / 60.0, 1e-6);
}

}  // namespace
