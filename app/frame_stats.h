#pragma once

#include <chrono>
#include <cstdio>

// A diagnostic for soak tests: with GLOWCAM_FRAME_STATS naming a file, the
// loop appends one line a second, "SECONDS FRAMES LONGEST_GAP_MS", the frames
// drawn in that second and the longest time between two of them.
struct FrameStats {
    using clock = std::chrono::steady_clock;
    std::FILE* file = nullptr;
    clock::time_point start, second, last;
    long frames = 0;
    double longest_ms = 0.0;

    FrameStats();
    ~FrameStats();
    void frame_done();
};
