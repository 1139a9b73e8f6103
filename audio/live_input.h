#pragma once

#include <string>

// Live sound in place of the music: a sound-server source through GStreamer,
// mixed to mono at 44100 Hz. The spectrum timer analyses its last 1024
// samples as it would the music's; nothing is played.

// "monitor" is what the desktop plays (the default output's monitor), "mic"
// the default input, any other word a source name. False, with one line that
// says what was tried and how to list the sources, when it cannot be opened;
// the spectrum then stays 0.
bool live_input_open(const std::string& source);

// The same with a pipeline head of its own in place of the sound server, such
// as "audiotestsrc": the same conversion and analysis.
bool live_input_open_pipeline(const std::string& head);

// True from an open, whether it worked or not, until live_input_close: the
// spectrum then follows the input (silence when there is none), not the music.
bool live_input_in_use();

// The spectrum timer's fetch: 512 magnitudes of the last 1024 samples (see
// fft1024_magnitudes). Once the input is lost it says so in one line, and from
// then on gives zeros and returns false. Called from one thread at a time.
bool live_input_fft1024(float* magnitudes);

// Stops the input; the spectrum timer must be stopped first.
void live_input_close();
