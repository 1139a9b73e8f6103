#pragma once

#include <chrono>

// A periodic timer: a thread of its own that calls a function on every
// deadline start + k x period. Deadlines, not sleeps of one period, so the
// ticks do not drift however long each call takes.

using TimerCallback = void (*)();

// Starts a timer whose first call comes one period from now. Returns its id,
// 0 when no thread could be started.
unsigned time_set_event(int period_ms, TimerCallback callback);

// Stops the timer and waits for a call in progress to finish: once this
// returns, the callback is never called again. Unknown ids (and 0) are ignored.
// Not to be called from the timer's own callback.
void time_kill_event(unsigned id);

// The deadline after `now` on the grid start + k x period, k >= 1. A tick that
// is late by more than a period skips the missed deadlines instead of firing
// them in a burst.
std::chrono::steady_clock::time_point
periodic_next_deadline(std::chrono::steady_clock::time_point start,
                       std::chrono::steady_clock::duration period,
                       std::chrono::steady_clock::time_point now);
