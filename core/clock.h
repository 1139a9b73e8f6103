#pragma once

// The show clock: milliseconds since the show started. Every time-driven part
// of the show reads it through show_time_ms, and tests and offline rendering
// replace its source to set the time.

void timer_init();
double timer_now_ms();      // milliseconds since timer_init
void show_clock_start();    // show time reads 0 from here on
double show_time_ms();      // any thread; 0 until show_clock_start

// A replacement source returns the show time in milliseconds itself; nullptr
// goes back to the real clock.
using ShowClockSource = double (*)();
void show_clock_set_source(ShowClockSource source);

// The common replacement: a time the caller sets and steps.
void show_clock_use_manual(double ms);
void show_clock_set_manual(double ms);
