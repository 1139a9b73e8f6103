#include "core/frame_grid.h"

#include <cmath>

bool frame_grid_reach(FrameGrid* grid, double show_ms, long long* first, long long* end)
{
    // Multiplying first keeps a frame drawn on a tick (40 ms at 25 a second) on it.
    const long long reached = static_cast<long long>(std::floor(show_ms * grid->fps / 1000.0)) + 1;
    if (reached <= grid->next)
        return false;
    *first = grid->next;
    *end = grid->next = reached;
    return true;
}
