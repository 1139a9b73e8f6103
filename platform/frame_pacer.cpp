#include "platform/frame_pacer.h"

#include <SDL.h>

#include <thread>

void frame_pacer_start(FramePacer* pacer, double hz, PacerClock::time_point now)
{
    if (hz <= 0.0)
        hz = 60.0;
    pacer->period = std::chrono::duration_cast<PacerClock::duration>(std::chrono::duration<double>(1.0 / hz));
    pacer->next = now + pacer->period;
}

PacerClock::time_point frame_pacer_next(FramePacer* pacer, PacerClock::time_point now)
{
    if (now < pacer->next) {
        PacerClock::time_point deadline = pacer->next;
        pacer->next += pacer->period;
        return deadline;
    }
    // Late: no wait, and the next deadline is the first one still ahead.
    pacer->next += pacer->period * ((now - pacer->next) / pacer->period + 1);
    return now;
}

void frame_pacer_wait(FramePacer* pacer)
{
    std::this_thread::sleep_until(frame_pacer_next(pacer, PacerClock::now()));
}

double frame_pacer_vsync(int display)
{
    if (SDL_GL_SetSwapInterval(-1) != 0)
        SDL_GL_SetSwapInterval(1);
    if (SDL_GL_GetSwapInterval() != 0)
        return 0.0;
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return 60.0;
}
