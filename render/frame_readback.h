#pragma once

// The window's frames read back for the live outputs without stalling the
// GL pipeline: a frame is copied into a pixel buffer object (OpenGL 2.1,
// which every driver of Debian 12 gives) when it is drawn and taken a frame
// later, when the copy is done. Main thread, context current; GL state it
// touches is restored.

// Frames of this size, RGB as glReadPixels gives them (bottom row first, no
// row padding). The buffer lives as long as the context.
void frame_readback_open(int width, int height);

// Starts reading the frame just drawn into the back buffer (before the
// swap), in place of one started earlier and not taken.
void frame_readback_start();

// Copies the frame started last into `rgb` (width x height x 3 bytes).
// False when none was started since the last take.
bool frame_readback_take(unsigned char* rgb);
