#pragma once

#include "app/cmdline.h"

// The operator's ways into the live show: keys in the window, OSC, the
// remote page and a cue file, all turned into the same actions. What cannot start is said in one
// line on standard error.

// Opens --save-cues and starts --osc and --remote (the cue file is loaded by
// then): false when any cannot, and the show should not start.
bool controls_start(const Options& options);
void controls_stop();

// At the start of each frame: applies what the keys, OSC and the cues ask
// for by now, writes the operator's actions to --save-cues, answers OSC and
// tells the remote pages where the show stands.
void controls_frame();
// Once the frame is drawn, before it is shown: the remote page's picture.
void controls_frame_drawn();
