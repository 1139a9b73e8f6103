#pragma once

#include <gst/gst.h>

#include <string>

// The live show as a camera: frames read back from GL, turned upright and
// into YUY2, sent to a v4l2loopback device for video calls and streaming
// programs. Sending never waits: a leaky queue drops what the device cannot
// take in time.

// Opens `device` (/dev/videoN) for frames at `fps` a second. When it is missing or no loopback device,
// writes one line saying how to make one and returns false; the show runs
// on without it.
bool virtual_camera_open(const std::string& device, int width, int height, double fps);

// The same pipeline into `sink`, which it takes over (an appsink in tests).
bool virtual_camera_open_sink(GstElement* sink, int width, int height, double fps, std::string* error);

// The picture for `count` frames from frame `first` on (frame n is at n / fps
// seconds), as glReadPixels returns it (RGB, bottom row first, no row
// padding): one buffer that lasts them all, since a device shows its last
// picture until the next. False once the camera has stopped: frames need
// not be read for it any more.
bool virtual_camera_send(const unsigned char* rgb, long long first, long long count);

// Frames dropped at the source because the conversion fell behind.
long long virtual_camera_dropped();

void virtual_camera_close();
