#pragma once

#include <gst/gst.h>

#include <string>

// What the video outputs share: GStreamer started once, and the show's
// frames as GStreamer buffers.

// Starts GStreamer on first use. On failure returns false with the reason in *error.
bool gst_frames_ready(std::string* error);

// A buffer of 8-bit RGB video in GStreamer's layout (top row first, rows
// padded to its stride) from rows as glReadPixels returns them: bottom row
// first, width x 3 bytes each, no padding (GL_PACK_ALIGNMENT 1).
GstBuffer* gst_frames_from_gl(const unsigned char* rgb, int width, int height);

// The caps of such frames; fps 0 marks a variable frame rate.
GstCaps* gst_frames_caps(int width, int height, double fps);
