#pragma once

#include "app/cmdline.h"

// The show's outputs besides the window: a rendered video (--render
// FILE.webm or .mkv), the live show's recording (--record) and virtual camera
// (--virtual-camera), and the pace of the live loop. What goes wrong is said
// in one line on standard error.

// --render FILE: opens the file before anything is drawn, so a path that
// cannot be written costs nothing. The music plays from --start, looped; with
// --no-sound, or music that cannot be read, the video has no audio track.
bool render_video_open(const Options& options);

// Frame `index` as glReadPixels returns it, and the music up to its end.
bool render_video_frame(const unsigned char* rgb, long long index);

// Finishes the file (also after an interrupted render: it plays up to there).
bool render_video_close();

// Call once the window is open, before the show clock starts. Starts the
// recording and the virtual camera at the window's size and asks for vsync,
// pacing the loop itself where the swap does not (unless --no-vsync).
// False only when the recording cannot be written: the show should not
// start. A virtual camera that cannot start is left out.
bool live_outputs_start(const Options& options);

// In place of window_swap: hands the frame to the outputs, shows it, and
// waits for the display's next refresh where the swap does not.
void live_outputs_present();

// Finishes the recording, with one line on the frames it dropped.
void live_outputs_stop();
