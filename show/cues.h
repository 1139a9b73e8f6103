#pragma once

#include "show/actions.h"

#include <string>
#include <vector>

// Cue files: one action a line, "SECONDS ACTION [VALUE]" in show time, '#'
// starts a comment. They play the show by its clock, live or rendered, and
// --save-cues writes the operator's actions in the same form, so a live
// performance renders again offline. Main thread only.

struct Cue {
    double t;  // seconds of show time
    Action action;
};

// Parses a cue file's text, the cues sorted by time (those at the same time
// in file order). False with "NAME:LINE: what is wrong" in *error.
bool cues_parse(const std::string& text, const std::string& name, std::vector<Cue>* out, std::string* error);
// Reads and parses a file, then plays it from the start of the show.
bool cues_load(const std::string& path, std::string* error);
// Applies every loaded cue whose time has come by show time t (seconds).
void cues_play(double t);

// Opens the file --save-cues writes into (replacing what it held).
bool cues_save_open(const std::string& path, std::string* error);
// One line for an operator's action at show time t, flushed at once so a
// crash keeps what was played.
void cues_save(double t, const Action& action);
void cues_save_close();
