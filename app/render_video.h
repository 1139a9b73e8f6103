#pragma once

#include "app/cmdline.h"

// --render FILE.webm or FILE.mkv: the rendered frames as one video with the
// music as the show plays it from --start, looped to the video's length.
// Every function says what went wrong on standard error in one line.

// Opens the file before anything is drawn, so a path that cannot be written
// costs nothing. With --no-sound, or music that cannot be read, the video
// has no audio track.
bool render_video_open(const Options& options);

// Frame `index` as glReadPixels returns it, and the music up to its end.
bool render_video_frame(const unsigned char* rgb, long long index);

// Finishes the file (also after an interrupted render: it plays up to there).
bool render_video_close();
