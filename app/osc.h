#pragma once

#include "show/actions.h"

#include <cstddef>
#include <string>
#include <vector>

// OSC over UDP: /glowcam/mode i, /glowcam/next, /glowcam/previous,
// /glowcam/hold i, /glowcam/swell, /glowcam/sensitivity f,
// /glowcam/blackout i, integer or float wherever a number is meant. A thread
// of its own receives and checks the messages and only queues actions; the
// main loop takes them at the start of a frame and answers each sender with
// /glowcam/state (mode, hold, sensitivity, blackout) once they are applied.
// A bad message is ignored with one line, at most one such line a second.

// Binds the port and starts the thread; false with the reason in *error.
bool osc_start(const std::string& host, int port, std::string* error);
void osc_stop();

// The actions received since the last call, in the order they came.
std::vector<Action> osc_take();
// Answers the senders of the actions osc_take last returned.
void osc_answer(const PlayState& state);

// One datagram as the thread reads it: false with the reason in *why for
// anything that is not one of the show's messages with a good value.
bool osc_read_message(const void* data, size_t size, Action* out, std::string* why);
