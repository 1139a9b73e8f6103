#pragma once

#include <string>

struct CaptureFrame;

// Live video: the capture driver, the grab worker and the frame pipeline into
// the video texture. The GL parts run on the main thread.

// The video texture and its sizes; all 0 while there is no video.
extern unsigned int video_texture;
extern int video_width, video_height;          // the frame
extern int video_tex_width, video_tex_height;  // the power-of-two texture

// Which source the driver uses: "auto", "none", "test", "/dev/videoN" or a
// video file. Set before capture_connect; "auto" by default.
void capture_select_source(const std::string& source);

// The size a camera is asked for, where it offers it; 0 x 0 (the default):
// the one that fills the window (screen_width x screen_height) at full rate.
void capture_select_camera_size(int width, int height);

bool capture_window_create();
bool capture_connect(int driver_index);
bool capture_grab_start(bool enable, int period_ms);
bool capture_disconnect();
void capture_shutdown();

// Offline rendering: convert and upload the file or test source's frame for
// this show time, without the worker. False when there is no such source.
bool capture_render_frame(double show_ms);

// The steps behind the calls above.

// The worker's function: one grab request to the main thread, served before
// it returns, while connected and grabbing; nothing otherwise.
void capture_grab_frame(int ignored);

// Main thread, once per served grab: uploads the frame the previous call
// converted, then converts this one. Returns 0.
int capture_frame_callback(const CaptureFrame& frame);

void capture_refresh_size();
void capture_driver_dialog(int which);
void video_texture_create();
void video_texture_upload();

// The texture side for a frame side: the size table, or the smallest power of
// two that holds the frame where the table's side would not.
int video_tex_width_for(int frame_width);
int video_tex_height_for(int frame_height);

// Grab callbacks since connect.
unsigned int capture_frame_count();
