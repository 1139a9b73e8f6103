#pragma once

#include <string>

// Live video: the capture driver, the grab worker and the frame pipeline into
// the video texture. The GL parts run on the main thread.

// The video texture and its sizes; all 0 while there is no video.
extern unsigned int video_texture;
extern int video_width, video_height;          // the frame
extern int video_tex_width, video_tex_height;  // the power-of-two texture

// Which source the driver uses: "auto", "none", "test", "/dev/videoN" or a
// path ending in ".y4m". Set before capture_connect; "auto" by default.
void capture_select_source(const std::string& source);

bool capture_window_create();
bool capture_connect(int driver_index);
bool capture_grab_start(bool enable, int period_ms);
bool capture_disconnect();
void capture_shutdown();

// Offline rendering: convert and upload the file or test source's frame for
// this show time, without the worker. False when there is no such source.
bool capture_render_frame(double show_ms);
