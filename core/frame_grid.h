#pragma once

// A steady grid of frames over show time, for outputs that take frames at a
// rate of their own whatever rate the show draws at: tick n is at n / fps
// seconds, and a frame drawn stands for the ticks it is the first to reach.
struct FrameGrid {
    double fps;
    long long next = 0;  // the first tick no frame stands for yet
};

// The ticks [*first, *end) that a frame drawn at `show_ms` is the first to
// reach: those at or before its time that no earlier frame stands for.
// False when there are none.
bool frame_grid_reach(FrameGrid* grid, double show_ms, long long* first, long long* end);
