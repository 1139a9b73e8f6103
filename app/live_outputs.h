#pragma once

#include "app/cmdline.h"

// What the live show sends out besides the window (--record, --virtual-camera)
// and the pace of its loop.

// Call once the window is open, before the show clock starts. Starts the
// recording and the virtual camera at the window's size and asks for vsync,
// pacing the loop itself where the swap does not (unless --no-vsync).
// False only when the recording cannot be written (said in one line): the
// show should not start. A virtual camera that cannot start is said in one
// line and left out.
bool live_outputs_start(const Options& options);

// In place of window_swap: hands the frame to the outputs, shows it, and
// waits for the display's next refresh where the swap does not.
void live_outputs_present();

// Finishes the recording, with one line on the frames it holds and dropped.
void live_outputs_stop();
