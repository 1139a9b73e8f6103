#pragma once

#include <string>

// The sound server's defaults (PulseAudio, or PipeWire's PulseAudio server),
// as source names that pulsesrc takes: the default output's monitor, which
// carries what the desktop plays, and the default input. False, with the
// server's reason, when no server answers within 3 s.
bool sound_server_defaults(std::string* monitor, std::string* input, std::string* why);
