#include "app/frame_stats.h"

#include <algorithm>
#include <cstdlib>

FrameStats::FrameStats()
{
    const char* path = std::getenv("GLOWCAM_FRAME_STATS");
    if (path && *path && (file = std::fopen(path, "a")) == nullptr)
        std::fprintf(stderr, "glowcam: cannot write frame statistics to %s\n", path);
    start = second = last = clock::now();
}

FrameStats::~FrameStats()
{
    if (file)
        std::fclose(file);
}

void FrameStats::frame_done()
{
    if (!file)
        return;
    clock::time_point now = clock::now();
    longest_ms = std::max(longest_ms, std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    ++frames;
    if (now - second >= std::chrono::seconds(1)) {
        std::fprintf(file, "%.3f %ld %.1f\n", std::chrono::duration<double>(now - start).count(),
                     frames, longest_ms);
        std::fflush(file);
        second = now;
        frames = 0;
        longest_ms = 0.0;
    }
}
