#pragma once

#include "app/cmdline.h"

// The operator's ways into the live show: keys in the window, OSC and a cue
// file, all turned into the same actions. What cannot start is said in one
// line on standard error.

// Opens --save-cues and starts --osc (the cue file is loaded by then):
// false when either cannot, and the show should not start.
bool controls_start(const Options& options);
void controls_stop();

// At the start of each frame: applies what the keys, OSC and the cues ask
// for by now, writes the operator's actions to --save-cues and answers OSC.
void controls_frame();
