#pragma once

#include <chrono>

// Paces a loop to the display's refresh where the buffer swap does not. The
// deadlines lie on a fixed grid from the first, so the pace does not drift.
// A pass that comes late does not wait, and the grid skips the deadlines it
// missed instead of hurrying through them: a loop slower than the display
// runs as fast as it can.

using PacerClock = std::chrono::steady_clock;

struct FramePacer {
    PacerClock::duration period{};
    PacerClock::time_point next{};
};

// Starts the grid at `now`, with `hz` refreshes a second (60 where the
// display does not say: hz <= 0).
void frame_pacer_start(FramePacer* pacer, double hz, PacerClock::time_point now);

// The time to wait for after a pass that ends at `now` (`now` itself when
// late); moves the grid on.
PacerClock::time_point frame_pacer_next(FramePacer* pacer, PacerClock::time_point now);

// Sleeps until the next deadline.
void frame_pacer_wait(FramePacer* pacer);

// Asks the current GL context for adaptive vsync, else vsync. Returns 0 when
// the swap now waits for the display, else the refresh rate of `display` to
// pace to (60 where unknown).
double frame_pacer_vsync(int display);
