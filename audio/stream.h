#pragma once

#include <string>

// The music as it plays: the file decoded into a queue of OpenAL buffers on
// one source, from its start and looping, and the frame being heard. Needs an
// open output (device or loopback). Main thread, except where noted.

// Opens the file and makes the source and its buffers, stopped.
bool stream_open(const std::string& path, int* error);

// Queues the first buffers and plays. With `own_thread` a streaming thread
// keeps the queue full (a device); otherwise whoever mixes calls
// stream_service (the loopback mixer).
bool stream_play(bool own_thread, int* error);
bool stream_playing();  // any thread

// Unqueues what has been played, queues newly decoded buffers in their place,
// and restarts a source that ran dry.
void stream_service();

// The source, for the reverb's send.
unsigned stream_source();

// The frame being heard now, counted from the start across loops; on a device
// smoothed between the steps in which the mixer moves. Playing only; any
// thread.
double stream_heard_frame();

// Stops the streaming thread and releases source, buffers and file.
void stream_close();
