#pragma once

#include "capture/source.h"

#include <string>

// The capture driver and its capture window, standing in for a webcam driver
// that is connected and disconnected synchronously, reports its frame size,
// and on a grab request calls the frame callback once with one frame.

// Which source the next connect opens: "auto", "none", "test", "/dev/videoN"
// or a video file (".y4m" through our own reader).
void capdrv_select_source(const std::string& spec);

// Tests put a source of their own in place of the selected one; nullptr goes
// back to the selection.
void capdrv_use_source(const CaptureSource* source);

bool capdrv_connect(int driver_index);  // false: the source would not open
bool capdrv_disconnect();               // false: nothing was connected
bool capdrv_connected();

// The frame size of the connected source. False when nothing is connected;
// the outputs are then left as they were.
bool capdrv_get_status(int* width, int* height);

// True when the connected source's picture follows the show time.
bool capdrv_source_timed();

using CaptureFrameCallback = int (*)(const CaptureFrame& frame);
void capdrv_set_frame_callback(CaptureFrameCallback callback);

// Main thread. The source's frame for this show time, without the callback.
bool capdrv_frame(double show_ms, CaptureFrame* out);

// Main thread. One frame to the frame callback; false when there was none.
bool capdrv_grab(double show_ms);

// The capture window: it belongs to the thread that creates it (the main
// thread), and every grab request is served there.
bool capwin_create();
bool capwin_exists();

// Any thread: asks the main thread for one grab (through the main loop's
// event queue) and returns once it has been served, or at once when the
// request cannot be delivered or the window has been released. Called on the
// main thread itself, it grabs directly.
bool capwin_request_grab();

// Releases every waiting request and refuses new ones; a request still queued
// does nothing when it is run later.
void capwin_release();

// The pointer is shown while the show's boxes may need it.
void capwin_show_cursor(bool show);
