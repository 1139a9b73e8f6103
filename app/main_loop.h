#pragma once

struct Options;

// The non-blocking frame loop: one event per pass, a frame when none waits.
// Returns the exit code: 0 after the window's close, 27 after Escape.
int main_loop();

// Opens the window, starts every subsystem, runs the loop and shuts down in
// order. Returns the program's exit code.
int run_show(const Options& options);
